#include "usb/UsbConfigurationWalk.h"

#include <cstring>
#include <memory>

#include "zentrova/usb/UsbDriver.h"

namespace {

// The received bytes of one configuration and the walk's position in them.
// Every descriptor taken must lie wholly inside the received bytes, be of the
// expected type, at least as long as the standard descriptor of its kind and
// no longer than the record it goes into; only the standard fields that
// mirror the wire are copied, so libusb's pointer members of a record stay
// zero. Descriptors of other types (class-specific ones such as a HID
// descriptor, interface associations) are stepped over, each checked to lie
// inside the received bytes.
class DescriptorWalk {
public:
    DescriptorWalk(const uint8_t* data, size_t size) : data(data), size(size) {}

    template <typename Record>
    void take(Record& record, uint8_t type, size_t standardSize)
    {
        if (pos >= size || size - pos < 2 || data[pos + 1] != type)
            fail();
        const size_t length = data[pos];
        if (length < standardSize || length > sizeof(Record) || length > size - pos)
            fail();
        std::memcpy(&record, data + pos, standardSize);
        pos += length;
    }

    // Steps over descriptors that are no configuration, interface or
    // endpoint, up to `end` (at most the received bytes).
    void skipOthers(size_t end)
    {
        end = end < size ? end : size;
        while (pos < end) {
            if (end - pos < 2)
                fail();
            const uint8_t type = data[pos + 1];
            if (type == LIBUSB_DT_CONFIG || type == LIBUSB_DT_INTERFACE || type == LIBUSB_DT_ENDPOINT)
                return;
            const size_t length = data[pos];
            if (length < 2 || length > end - pos)
                fail();
            pos += length;
        }
    }

    // The next byte to read, or the end of the received bytes.
    uint8_t peekLength() const { return pos < size ? data[pos] : 0; }

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
    walk.take(config.descriptor, LIBUSB_DT_CONFIG, LIBUSB_DT_CONFIG_SIZE);
    const size_t end = config.descriptor.wTotalLength;
    config.interfaces.resize(config.descriptor.bNumInterfaces);
    for (UsbInterfaceDescriptor& interface : config.interfaces) {
        walk.skipOthers(end);
        walk.take(interface.descriptor, LIBUSB_DT_INTERFACE, LIBUSB_DT_INTERFACE_SIZE);
        for (unsigned e = 0; e < interface.descriptor.bNumEndpoints; ++e) {
            walk.skipOthers(end);
            // Standard (7 bytes) or audio (9 bytes) endpoint layout.
            auto record = std::make_unique<libusb_endpoint_descriptor>();
            if (walk.peekLength() >= LIBUSB_DT_ENDPOINT_AUDIO_SIZE)
                walk.take(*record, LIBUSB_DT_ENDPOINT, LIBUSB_DT_ENDPOINT_AUDIO_SIZE);
            else
                walk.take(*record, LIBUSB_DT_ENDPOINT, LIBUSB_DT_ENDPOINT_SIZE);
            interface.endpoints.push_back(record.get());
            record.release();
        }
    }
    walk.skipOthers(end);
    if (walk.position() != end)
        DescriptorWalk::fail();
}

