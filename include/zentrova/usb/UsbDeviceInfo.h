// One enumerated USB device.
#ifndef ZENTROVA_USB_USBDEVICEINFO_H
#define ZENTROVA_USB_USBDEVICEINFO_H

#include <cstdint>
#include <string>

#include "zentrova/export.h"

struct libusb_device;

// `device` is borrowed from the enumerating driver's device list: it stays
// valid until that driver lists devices again or is destroyed. Pass the record
// to `open` of the driver that produced it.
class ZENTROVA_API UsbDeviceInfo {
public:
    uint16_t vid = 0;
    uint16_t pid = 0;
    uint16_t bcdDevice = 0;
    std::string manufacturer;  // empty when the descriptor has no string index
    std::string product;
    std::string serialNumber;
    libusb_device* device = nullptr;
};

#endif
