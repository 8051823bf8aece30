// Descriptor reading: standard GET_DESCRIPTOR requests on endpoint 0, and the
// ownership of the endpoint records (UsbConfigurationWalk.cpp parses).
#include "zentrova/usb/UsbDescriptors.h"

#include <cstring>
#include <memory>
#include <utility>

#include "usb/UsbConfigurationWalk.h"
#include "zentrova/usb/UsbDriver.h"

// ---------------------------------------------------------------------------
// UsbInterfaceDescriptor

UsbInterfaceDescriptor::~UsbInterfaceDescriptor()
{
    for (libusb_endpoint_descriptor* e : endpoints)
        delete e;
}

UsbInterfaceDescriptor::UsbInterfaceDescriptor(UsbInterfaceDescriptor&& other) noexcept
    : descriptor(other.descriptor), endpoints(std::move(other.endpoints))
{
    other.endpoints.clear();
}

UsbInterfaceDescriptor& UsbInterfaceDescriptor::operator=(UsbInterfaceDescriptor&& other) noexcept
{
    if (this != &other) {
        for (libusb_endpoint_descriptor* e : endpoints)
            delete e;
        descriptor = other.descriptor;
        endpoints = std::move(other.endpoints);
        other.endpoints.clear();
    }
    return *this;
}

// ---------------------------------------------------------------------------
// getDescriptors

namespace {

constexpr uint8_t REQUEST_TYPE_STANDARD_DEVICE_IN = 0x80;
constexpr uint8_t GET_DESCRIPTOR = 6;
constexpr unsigned TIMEOUT_MS = 1000;
constexpr size_t CONFIG_BUFFER_SIZE = 4096;

static_assert(sizeof(libusb_device_descriptor) == LIBUSB_DT_DEVICE_SIZE,
              "the device descriptor is read straight into libusb's structure");

} // namespace

void UsbDriver::getDescriptors(UsbDescriptors& out)
{
    out.configurations.clear();
    std::memset(&out.deviceDescriptor, 0, sizeof out.deviceDescriptor);
    if (!handle)
        throwUsbError(LIBUSB_ERROR_NO_DEVICE);

    int rc = libusb_control_transfer(handle, REQUEST_TYPE_STANDARD_DEVICE_IN, GET_DESCRIPTOR,
                                     static_cast<uint16_t>(LIBUSB_DT_DEVICE << 8), 0,
                                     reinterpret_cast<unsigned char*>(&out.deviceDescriptor),
                                     LIBUSB_DT_DEVICE_SIZE, TIMEOUT_MS);
    if (rc < 0)
        throwUsbError(rc);
    if (rc < LIBUSB_DT_DEVICE_SIZE)
        throwUsbError(LIBUSB_ERROR_OTHER); // a short device descriptor is no device descriptor

    out.configurations.resize(out.deviceDescriptor.bNumConfigurations);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[CONFIG_BUFFER_SIZE]);
    for (unsigned i = 0; i < out.configurations.size(); ++i) {
        rc = libusb_control_transfer(handle, REQUEST_TYPE_STANDARD_DEVICE_IN, GET_DESCRIPTOR,
                                     static_cast<uint16_t>(LIBUSB_DT_CONFIG << 8 | i), 0, buffer.get(),
                                     CONFIG_BUFFER_SIZE, TIMEOUT_MS);
        if (rc < 0)
            throwUsbError(rc);
        parseConfigurationDescriptor(buffer.get(), static_cast<size_t>(rc), out.configurations[i]);
    }
}
