// The mouse's vendor control protocol: request framing, status handshake,
// mouse ID and the single-request commands.
#include "zentrova/device/ZentrovaDriver.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device/ZentrovaTransfer.h"
#include "util/failure_detail.h"

using namespace zentrova_device;

// ---------------------------------------------------------------------------
// Shared helpers

namespace zentrova_device {

void vendorTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                    uint16_t index, unsigned char* data, uint16_t length)
{
    if (!handle)
        throwUsbError(LIBUSB_ERROR_NO_DEVICE);
    int rc = libusb_control_transfer(handle, requestType, request, 0, index, data, length,
                                     ZENTROVA_TRANSFER_TIMEOUT_MS);
    if (rc < 0)
        throwUsbError(rc);
    if (rc != length) {
        char text[64];
        std::snprintf(text, sizeof text, "short transfer: %d of %u bytes", rc, static_cast<unsigned>(length));
        throw ZentrovaException(text);
    }
}

} // namespace zentrova_device

// ---------------------------------------------------------------------------
// ZentrovaDriver

namespace {

// A mouse that stayed busy past the handshake bound: to every catcher of
// UsbException the "timeout" of a silent device, as it always was.
class StillBusy : public UsbException, public zentrova::FailureDetail {
public:
    StillBusy() : UsbException("timeout"), FailureDetail(LIBUSB_ERROR_TIMEOUT, std::string(), true) {}
};

} // namespace

ZentrovaDriver::ZentrovaDriver() : ZentrovaDriver("driver.log") {}

ZentrovaDriver::ZentrovaDriver(const char* logPath)
{
    logFile = logPath ? std::fopen(logPath, "a+") : nullptr;
}

ZentrovaDriver::~ZentrovaDriver()
{
    if (logFile) {
        std::fclose(logFile);
        logFile = nullptr;
    }
    try {
        UsbDriver::close();
    } catch (...) {
        // close_callback is empty and libusb_close reports nothing.
    }
}

void ZentrovaDriver::find(std::vector<UsbDeviceInfo>& devices)
{
    findByVidPid(devices, ZENTROVA_VENDOR_ID, rightMouse ? ZENTROVA_PRODUCT_ID_RIGHT : ZENTROVA_PRODUCT_ID_LEFT);
}

void ZentrovaDriver::open_callback() {}

void ZentrovaDriver::close_callback() {}

ZentrovaDriver::Deadline ZentrovaDriver::operationDeadline(size_t chunks) const
{
    // Capped so that no bound and image size overflows the clock (an image
    // of 65536 chunks is 256 MiB, far beyond any limit the mouse announces).
    const auto bound = std::chrono::milliseconds(statusBoundMs);
    return Deadline::clock::now() + 3 * bound + static_cast<long>(std::min<size_t>(chunks, 65536)) * bound / 50;
}

void ZentrovaDriver::checkStatus()
{
    handshake(operationDeadline(0));
}

void ZentrovaDriver::handshake(Deadline operationEnd)
{
    using Clock = Deadline::clock;
    const Deadline end = std::min(Clock::now() + std::chrono::milliseconds(statusBoundMs), operationEnd);
    // A busy mouse is asked again after a pause of 1 ms, doubling up to 10 ms:
    // soon enough for a short erase, without flooding the bus.
    std::chrono::milliseconds pause(1);
    for (;;) {
        unsigned char status = 0;
        vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_IN, ZENTROVA_CTRL_REQUEST_STATUS, 0, &status, 1);
        if (status == ZENTROVA_STATUS_BUSY) {
            // Not forever: a device stuck at busy fails like one that
            // stopped answering.
            if (Clock::now() >= end)
                throw StillBusy();
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(10));
            continue;
        }
        if (status == ZENTROVA_STATUS_ERROR) {
            zentrova::logTo(logFile, "checkStatus() Communiation error\r\n");
            throw ZentrovaException("communication error");
        }
        if (status != ZENTROVA_STATUS_READY) {
            char text[32];
            std::snprintf(text, sizeof text, "undefined status 0x%02X", static_cast<unsigned>(status));
            throw ZentrovaException(text);
        }
        return;
    }
}

unsigned char ZentrovaDriver::getMouseId()
{
    unsigned char id = 0xFF;
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_IN, ZENTROVA_CTRL_REQUEST_ID, 0, &id, 1);
    zentrova::logTo(logFile, "getMouseId() ZENTROVA_CTRL_REQUEST_ID %d\r\n", id);
    checkStatus();
    return id;
}

// Reset and handshake, then the command and its handshake.
void ZentrovaDriver::framedCommand(uint8_t request, uint16_t index, unsigned char* data, uint16_t length)
{
    const Deadline end = operationDeadline(0);
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_RESET, 0, nullptr, 0);
    handshake(end);
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, request, index, data, length);
    handshake(end);
}

void ZentrovaDriver::removeProfile(unsigned char slot)
{
    if (slot)
        framedCommand(ZENTROVA_CTRL_REQUEST_PROFILE_REMOVE, slot, nullptr, 0);
}

void ZentrovaDriver::activeProfile(unsigned char slot)
{
    if (slot)
        framedCommand(ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE, slot, nullptr, 0);
}

void ZentrovaDriver::setPollingRate(unsigned char rate)
{
    if (rate)
        framedCommand(ZENTROVA_CTRL_REQUEST_POLLING_RATE, rate, nullptr, 0);
}

void ZentrovaDriver::runLedProgram(unsigned char program)
{
    if (program)
        framedCommand(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, program, nullptr, 0);
}

void ZentrovaDriver::runProgram(unsigned char program)
{
    if (program <= 64)
        framedCommand(ZENTROVA_CTRL_REQUEST_RUN_PROGRAM, program, nullptr, 0);
}

void ZentrovaDriver::stopLedProgram()
{
    framedCommand(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, 0, nullptr, 0);
}

void ZentrovaDriver::updateLedColor(unsigned int color)
{
    unsigned char bytes[3] = {static_cast<unsigned char>(color), static_cast<unsigned char>(color >> 8),
                              static_cast<unsigned char>(color >> 16)};
    framedCommand(ZENTROVA_CTRL_REQUEST_LED_COLOR, 0xFFFF, bytes, sizeof bytes);
}

void ZentrovaDriver::setLedParams(unsigned char* params)
{
    if (!params)
        throwUsbError(LIBUSB_ERROR_INVALID_PARAM);
    framedCommand(ZENTROVA_CTRL_REQUEST_LED_PARAMS, 0, params, 16);
}
