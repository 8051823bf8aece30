// The walk over the bytes of one configuration as GET_DESCRIPTOR returned
// them: configuration, then per interface its descriptor and endpoints, in
// that order and nothing else.
#ifndef ZENTROVA_USB_USBCONFIGURATIONWALK_H
#define ZENTROVA_USB_USBCONFIGURATIONWALK_H

#include <cstddef>
#include <cstdint>

#include "zentrova/usb/UsbDescriptors.h"

// Fills `config` from the `size` bytes received at `data`. Throws
// UsbException "unknown error" when the walk does not end exactly at
// wTotalLength, a descriptor's length is 0, shorter than the standard
// descriptor of its kind or longer than its record, or a descriptor runs
// past the received bytes; `config` then holds what was parsed so far.
void parseConfigurationDescriptor(const uint8_t* data, size_t size, UsbConfigDescriptor& config);

#endif
