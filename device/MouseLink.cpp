#include "device/MouseLink.h"

#include <libusb.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/DfuHeader.h"
#include "util/failure_detail.h"
#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/profile/ProfileImage.h"
#include "zentrova/util/FileException.h"

namespace zentrova {

MouseLink::MouseLink(const char* driverLog, unsigned busyBoundMs) : ZentrovaDriver(driverLog)
{
    statusBoundMs = busyBoundMs;
}

namespace {

std::string nodeOf(libusb_device* device)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    return node;
}

} // namespace

std::vector<MouseInfo> MouseLink::findMice(std::optional<Hand> hand, std::vector<UsbDeviceInfo>& devices,
                                           std::vector<LeftOut>* leftOut)
{
    std::vector<int> pids;
    if (!hand || *hand == Hand::Right)
        pids.push_back(ZENTROVA_PRODUCT_ID_RIGHT);
    if (!hand || *hand == Hand::Left)
        pids.push_back(ZENTROVA_PRODUCT_ID_LEFT);
    std::vector<Unprobed> unprobed;
    probeByIds(devices, ZENTROVA_VENDOR_ID, pids, leftOut ? &unprobed : nullptr);
    if (leftOut) {
        leftOut->clear();
        for (const Unprobed& u : unprobed)
            leftOut->push_back({nodeOf(u.device), u.usbCode});
    }
    std::vector<MouseInfo> out;
    for (const UsbDeviceInfo& d : devices) {
        MouseInfo m;
        m.hand = d.pid == ZENTROVA_PRODUCT_ID_RIGHT ? Hand::Right : Hand::Left;
        m.vendorId = d.vid;
        m.productId = d.pid;
        m.bcdDevice = d.bcdDevice;
        const BcdVersion v = decodeBcdVersion(d.bcdDevice);
        m.firmwareMajor = v.major;
        m.firmwareMinor = v.minor;
        m.manufacturer = d.manufacturer;
        m.product = d.product;
        m.serialNumber = d.serialNumber;
        m.bus = libusb_get_bus_number(d.device);
        m.address = libusb_get_device_address(d.device);
        m.deviceNode = nodeOf(d.device);
        out.push_back(std::move(m));
    }
    return out;
}

DeviceLock MouseLink::lockOperation()
{
    if (!handle)
        return DeviceLock();
    return DeviceLock::acquire(nodeOf(libusb_get_device(handle)), 3 * std::chrono::milliseconds(statusBoundMs));
}

void MouseLink::setLed(const LedEffect& effect)
{
    unsigned char record[sizeof effect.record];
    std::memcpy(record, effect.record, sizeof record);
    setLedParams(record);
    runLedProgram(effect.program);
}

void MouseLink::sendProfile(uint8_t slot, const uint8_t* image, size_t size, const Progress& progress)
{
    ZentrovaDriver::sendProfile(slot, image, size, &progress);
}

void MouseLink::sendFirmware(const uint8_t* image, size_t size, const Progress& progress)
{
    ZentrovaDriver::sendFirmware(image, size, &progress);
}

Result failureResult()
{
    try {
        throw;
    } catch (const UsbException& e) {
        const FailureDetail* detail = failureDetail(e);
        if (detail && detail->stillBusy)
            return {Cause::Busy,
                    detail->usbCode == LIBUSB_ERROR_BUSY ? e.what()
                                                         : "the mouse stayed busy past the handshake or operation bound",
                    detail->deviceNode};
        switch (detail ? detail->usbCode : 0) {
        case LIBUSB_ERROR_ACCESS:
            return {Cause::AccessDenied, e.what(), detail->deviceNode};
        case LIBUSB_ERROR_NO_DEVICE:
            return {Cause::Disconnected, e.what(), detail->deviceNode};
        case LIBUSB_ERROR_TIMEOUT:
            return {Cause::Timeout, e.what(), detail->deviceNode};
        case LIBUSB_ERROR_PIPE: // the mouse refused the request
            return {Cause::DeviceError, e.what(), detail->deviceNode};
        default:
            return {Cause::UsbError, e.what(), detail ? detail->deviceNode : std::string()};
        }
    } catch (const ZentrovaException& e) {
        return {Cause::DeviceError, e.what(), ""};
    } catch (const FileException& e) {
        return {Cause::UnreadableFile, std::string(e.getFileName()) + ": " + e.what(), ""};
    } catch (const std::exception& e) {
        return {Cause::Unexpected, e.what(), ""};
    } catch (...) {
        return {Cause::Unexpected, "unknown error", ""};
    }
}

Result checkProfileImage(const std::vector<uint8_t>& image)
{
    // Exactly these bytes: header, every record, the CRC over all of them,
    // nothing behind the last record, and within what the mouse's loader
    // has room for.
    const ProfileImageParse parsed = ProfileImage::tryParse(image.data(), image.size());
    if (parsed.error)
        return {Cause::InvalidFile, std::string("not a valid profile image: ") + parsed.error->what(), ""};
    if (!parsed.image.fitsLoader())
        return {Cause::InvalidFile, "not a valid profile image: " + parsed.image.loaderProblem(), ""};
    return {};
}

bool firmwareImageAcceptable(const uint8_t* image, size_t size)
{
    return dfuHeaderAcceptable(image, size);
}

} // namespace zentrova
