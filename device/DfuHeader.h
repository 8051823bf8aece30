// The checks the device tool makes on a DFU image before it sends the image
// to the mouse.
#ifndef ZENTROVA_DEVICE_DFUHEADER_H
#define ZENTROVA_DEVICE_DFUHEADER_H

#include <cstddef>
#include <cstdint>

namespace zentrova {

// In this order: CRC-32 over bytes 4 to the end equals the value at 0; the
// tag at 4 is "ZENTROVA"; the payload length at 16 plus 20 is the size (no
// trailing bytes: the mouse gets the whole file); zentrova::DfuHeader::valid
// (BCD versions, a payload that holds the check block); version2 is 0x0100.
// An image shorter than the header fails without being read.
bool dfuHeaderAcceptable(const uint8_t* image, size_t size);

} // namespace zentrova

#endif
