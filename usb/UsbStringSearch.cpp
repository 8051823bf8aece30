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
        // Most devices on a desktop are not the user's to open, and one may
        // go away or hang in a string request: such a device cannot be
        // matched, and the search goes on without it.
        UsbDeviceInfo info;
        rc = probeDevice(*this, handle, dev, desc, info);
        if (rc == LIBUSB_ERROR_NO_MEM)
            throwUsbError(rc);
        if (rc < 0)
            continue;
        if (contains(info.manufacturer, manufacturer) && contains(info.product, product) &&
            contains(info.serialNumber, serialNumber))
            devices.push_back(std::move(info));
    }
}
