// The configuration walk of getDescriptors on any bytes a device could send
// (at most the 4096 the request asks for): it either throws "unknown error"
// or yields a tree that accounts for exactly wTotalLength bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "usb/UsbConfigurationWalk.h"
#include "zentrova/usb/UsbException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        size = 4096;
    UsbConfigDescriptor config;
    try {
        parseConfigurationDescriptor(data, size, config);
    } catch (const UsbException& e) {
        if (std::strcmp(e.what(), "unknown error") != 0)
            std::abort();
        return 0;
    }
    // Accepted: every announced record is there, and the tree lies inside
    // the bytes received.
    if (config.descriptor.wTotalLength > size || config.interfaces.size() != config.descriptor.bNumInterfaces)
        std::abort();
    size_t walked = config.descriptor.bLength;
    for (const auto& interface : config.interfaces) {
        if (interface.endpoints.size() != interface.descriptor.bNumEndpoints || interface.descriptor.endpoint)
            std::abort();
        walked += interface.descriptor.bLength;
        for (const auto* e : interface.endpoints) {
            if (e->extra || e->extra_length)
                std::abort();
            walked += e->bLength;
        }
    }
    if (walked != config.descriptor.wTotalLength || config.descriptor.interface || config.descriptor.extra)
        std::abort();
    return 0;
}
