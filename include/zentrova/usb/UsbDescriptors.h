// The descriptor tree of a device as UsbDriver::getDescriptors reads it over
// endpoint 0: the device descriptor, and per configuration its interfaces
// with their endpoints.
//
// Each header is laid out like libusb's descriptor structure; only the
// standard fields that mirror the wire bytes are filled (little-endian, as
// received). libusb's pointer members and `extra`/`extra_length` stay zero.
#ifndef ZENTROVA_USB_USBDESCRIPTORS_H
#define ZENTROVA_USB_USBDESCRIPTORS_H

#include <libusb.h>

#include <vector>

#include "zentrova/export.h"

// One interface with its endpoints. It owns its endpoint records, each a
// separately allocated libusb_endpoint_descriptor: the record moves, it is
// never copied, so no two records share an endpoint.
class ZENTROVA_API UsbInterfaceDescriptor {
public:
    UsbInterfaceDescriptor() = default;
    ~UsbInterfaceDescriptor();
    UsbInterfaceDescriptor(const UsbInterfaceDescriptor&) = delete;
    UsbInterfaceDescriptor& operator=(const UsbInterfaceDescriptor&) = delete;
    UsbInterfaceDescriptor(UsbInterfaceDescriptor&& other) noexcept;
    UsbInterfaceDescriptor& operator=(UsbInterfaceDescriptor&& other) noexcept;

    libusb_interface_descriptor descriptor{};
    std::vector<libusb_endpoint_descriptor*> endpoints;
};

class ZENTROVA_API UsbConfigDescriptor {
public:
    UsbConfigDescriptor() = default;
    UsbConfigDescriptor(const UsbConfigDescriptor&) = delete;
    UsbConfigDescriptor& operator=(const UsbConfigDescriptor&) = delete;
    UsbConfigDescriptor(UsbConfigDescriptor&&) noexcept = default;
    UsbConfigDescriptor& operator=(UsbConfigDescriptor&&) noexcept = default;

    libusb_config_descriptor descriptor{};
    std::vector<UsbInterfaceDescriptor> interfaces; // bNumInterfaces entries
};

class ZENTROVA_API UsbDescriptors {
public:
    UsbDescriptors() = default;
    UsbDescriptors(const UsbDescriptors&) = delete;
    UsbDescriptors& operator=(const UsbDescriptors&) = delete;
    UsbDescriptors(UsbDescriptors&&) noexcept = default;
    UsbDescriptors& operator=(UsbDescriptors&&) noexcept = default;

    libusb_device_descriptor deviceDescriptor{};
    std::vector<UsbConfigDescriptor> configurations; // one per configuration index
};

#endif
