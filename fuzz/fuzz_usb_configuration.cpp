// The configuration walk of getDescriptors on any bytes a device could send
// (at most the 4096 the request asks for): it either throws "unknown error"
// or yields a tree of records of the right types whose lengths fit in
// wTotalLength (descriptors of other types stepped over make up the rest).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "usb/UsbConfigurationWalk.h"
#include "zentrova/usb/UsbException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size = std::min<size_t>(size, 4096);
    UsbConfigDescriptor config;
    try {
        parseConfigurationDescriptor(data, size, config);
    } catch (const UsbException& e) {
        if (std::strcmp(e.what(), "unknown error") != 0)
            std::abort();
        return 0;
    }
    // Accepted: every announced record is there, of its type, with no pointer
    // set, and the lengths of the records fit in wTotalLength, inside the
    // bytes received.
    const libusb_config_descriptor& c = config.descriptor;
    bool sound = c.wTotalLength <= size && config.interfaces.size() == c.bNumInterfaces && !c.interface && !c.extra &&
                 c.bDescriptorType == 2;
    size_t walked = c.bLength;
    for (const auto& i : config.interfaces) {
        sound = sound && i.endpoints.size() == i.descriptor.bNumEndpoints && !i.descriptor.endpoint &&
                i.descriptor.bDescriptorType == 4;
        walked += i.descriptor.bLength;
        for (const auto* e : i.endpoints) {
            sound = sound && !e->extra && !e->extra_length && e->bDescriptorType == 5;
            walked += e->bLength;
        }
    }
    if (!sound || walked > c.wTotalLength)
        std::abort();
    return 0;
}
