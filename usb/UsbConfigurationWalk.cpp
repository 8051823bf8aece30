#include "usb/UsbConfigurationWalk.h"

#include <cstring>
#include <memory>

#include "zentrova/usb/UsbDriver.h"

namespace {

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

} // namespace

void parseConfigurationDescriptor(const uint8_t* data, size_t size, UsbConfigDescriptor& config)
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

