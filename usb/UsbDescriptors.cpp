// Descriptor reading: standard GET_DESCRIPTOR requests on endpoint 0 and the
// walk that turns a configuration's bytes into interface and endpoint records.
#include "zentrova/usb/UsbDescriptors.h"

#include <cstring>
#include <memory>
#include <utility>

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

// The received bytes of one configuration and the walk's position in them.
// Every descriptor taken must lie wholly inside the received bytes, be at
// least as long as the standard descriptor of its kind and no longer than
// the record it goes into; only the standard fields that mirror the wire are
// copied, so libusb's pointer members of a record stay zero.
class DescriptorWalk {
public:
    DescriptorWalk(const uint8_t* data, size_t size) : data(data), size(size) {}

    template <typename Record>
    void take(Record& record, size_t standardSize)
    {
        if (pos >= size)
            fail();
        const size_t length = data[pos];
        if (length < standardSize || length > sizeof(Record) || length > size - pos)
            fail();
        std::memcpy(&record, data + pos, standardSize);
        pos += length;
    }

    size_t position() const { return pos; }

    [[noreturn]] static void fail() { throwUsbError(LIBUSB_ERROR_OTHER); } // "unknown error"

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

void parseConfiguration(const uint8_t* data, size_t size, UsbConfigDescriptor& config)
{
    DescriptorWalk walk(data, size);
    walk.take(config.descriptor, LIBUSB_DT_CONFIG_SIZE);
    config.interfaces.resize(config.descriptor.bNumInterfaces);
    for (UsbInterfaceDescriptor& interface : config.interfaces) {
        walk.take(interface.descriptor, LIBUSB_DT_INTERFACE_SIZE);
        for (unsigned e = 0; e < interface.descriptor.bNumEndpoints; ++e) {
            // Standard (7 bytes) or audio (9 bytes) endpoint layout.
            auto record = std::make_unique<libusb_endpoint_descriptor>();
            const size_t start = walk.position();
            if (start < size && data[start] >= LIBUSB_DT_ENDPOINT_AUDIO_SIZE)
                walk.take(*record, LIBUSB_DT_ENDPOINT_AUDIO_SIZE);
            else
                walk.take(*record, LIBUSB_DT_ENDPOINT_SIZE);
            interface.endpoints.push_back(record.get());
            record.release();
        }
    }
    if (walk.position() != config.descriptor.wTotalLength)
        DescriptorWalk::fail();
}

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

    out.configurations.resize(out.deviceDescriptor.bNumConfigurations);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[CONFIG_BUFFER_SIZE]);
    for (unsigned i = 0; i < out.configurations.size(); ++i) {
        rc = libusb_control_transfer(handle, REQUEST_TYPE_STANDARD_DEVICE_IN, GET_DESCRIPTOR,
                                     static_cast<uint16_t>(LIBUSB_DT_CONFIG << 8 | i), 0, buffer.get(),
                                     CONFIG_BUFFER_SIZE, TIMEOUT_MS);
        if (rc < 0)
            throwUsbError(rc);
        parseConfiguration(buffer.get(), static_cast<size_t>(rc), out.configurations[i]);
    }
}
