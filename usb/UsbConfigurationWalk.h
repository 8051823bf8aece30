// The walk over the bytes of one configuration as GET_DESCRIPTOR returned
// them: configuration, then per interface its descriptor and endpoints, in
// that order; descriptors of other types in between (class-specific ones,
// interface associations) are stepped over.
#ifndef ZENTROVA_USB_USBCONFIGURATIONWALK_H
#define ZENTROVA_USB_USBCONFIGURATIONWALK_H

#include <cstddef>
#include <cstdint>

#include "zentrova/usb/UsbDescriptors.h"

// Fills `config` from the `size` bytes received at `data`. Throws
// UsbException "unknown error" when the walk does not end exactly at
// wTotalLength, a descriptor is not of the type its place needs, its length
// is shorter than the standard descriptor of its kind (or than 2 for one
// stepped over) or longer than its record, or a descriptor runs past the
// received bytes; `config` then holds what was parsed so far.
void parseConfigurationDescriptor(const uint8_t* data, size_t size, UsbConfigDescriptor& config);

#endif
