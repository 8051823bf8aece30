// Enumeration by substrings of the manufacturer, product and serial-number
// strings.
#include <libusb.h>

#include "zentrova/usb/UsbDriver.h"

#include "usb/ProbeSlot.h"

namespace {

// An empty pattern accepts anything; any other must occur in `text`.
bool contains(const std::string& text, const std::string& pattern)
{
    return pattern.empty() || (!text.empty() && text.find(pattern) != std::string::npos);
}

} // namespace

void UsbDriver::findByStrings(std::vector<UsbDeviceInfo>& devices, const std::string& manufacturer,
                              const std::string& product, const std::string& serialNumber)
{
    refreshDeviceList();
    devices.clear();
    ProbeSlot probe(handle);
    for (ssize_t i = 0; i < deviceCount; ++i) {
        libusb_device* dev = deviceList[i];
        libusb_device_descriptor desc{};
        int rc = libusb_get_device_descriptor(dev, &desc);
        if (rc < 0)
            throwUsbError(rc);
        rc = libusb_open(dev, &handle);
        if (rc < 0) {
            handle = nullptr;
            // Most devices on a desktop are not the user's to open: such a
            // device cannot be matched, and the search goes on without it.
            if (rc == LIBUSB_ERROR_ACCESS)
                continue;
            throwUsbError(rc);
        }
        UsbDeviceInfo info = describeOpenDevice(*this, dev, desc);
        libusb_close(handle);
        handle = nullptr;
        if (contains(info.manufacturer, manufacturer) && contains(info.product, product) &&
            contains(info.serialNumber, serialNumber))
            devices.push_back(std::move(info));
    }
}
