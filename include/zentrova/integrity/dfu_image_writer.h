// Builds encrypted DFU firmware images, the inverse of dfu_decode_image
// (layout in dfu.h).
//
//   std::array<uint8_t, 32> key = ...;
//   std::vector<dfu_segment_t> segments = {{0x08004000, firmware}, {0x0801F000, config}};
//   std::vector<uint8_t> image = dfu_encode_image(key, "ZENTROVA", 0x0123, 0x0100, segments);
//
// The image holds the header with its CRC-32, the encrypted check block and one
// encrypted "QVCS" segment per entry, in the order given, with the data's CRC-32.
// The image decodes with dfu_decode_image under the same key and tag, for any
// chunk size, and whenever the region covers every segment.
//
// Sizes travel with the data (the key is an array of 32 bytes, each segment a
// vector), and everything dfu_decode_image would refuse is refused here with
// std::invalid_argument:
//   - tag not exactly 8 bytes;
//   - a version with a BCD digit above 9;
//   - a segment whose data is empty or not a multiple of 16 bytes (pad it
//     yourself, e.g. with 0xFF for erased flash: the writer adds no bytes);
//   - a segment that runs past address 0xFFFFFFFF;
//   - an image of 4 GiB or more.
//
// `salt` is the first 16 bytes of the check block, which the decoder does not
// interpret. Since everything after it is chained to it, a random salt makes
// two images with the same content differ throughout; the default (zeros)
// gives reproducible images.
#ifndef ZENTROVA_INTEGRITY_DFU_IMAGE_WRITER_H
#define ZENTROVA_INTEGRITY_DFU_IMAGE_WRITER_H

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "zentrova/export.h"

// One block of firmware bytes for one target address range.
struct dfu_segment_t {
    uint32_t address = 0;      // target address of data[0]
    std::vector<uint8_t> data; // nonzero multiple of 16 bytes
};

ZENTROVA_API std::vector<uint8_t> dfu_encode_image(const std::array<uint8_t, 32>& key, std::string_view tag,
                                                   uint16_t version1, uint16_t version2,
                                                   const std::vector<dfu_segment_t>& segments,
                                                   const std::array<uint8_t, 16>& salt = {});

#endif
