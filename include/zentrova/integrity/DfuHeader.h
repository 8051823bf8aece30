// The plain 20-byte header in front of an encrypted DFU firmware image (layout
// in dfu.h), read in one place for the decoder, the image writer, the
// firmware-update check and the tools; and the BCD version numbers it and the
// mouse's USB descriptor carry.
#ifndef ZENTROVA_INTEGRITY_DFUHEADER_H
#define ZENTROVA_INTEGRITY_DFUHEADER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zentrova/export.h"

namespace zentrova {

struct DfuHeader {
    static constexpr size_t kSize = 20;           // header bytes in front of the payload
    static constexpr size_t kCheckBlockSize = 32; // the payload starts with the check block

    uint32_t crc = 0;           // at 0: CRC-32 over bytes 4 .. 20 + payloadLength - 1
    char tag[8] = {};           // at 4: product tag, ASCII without terminator
    uint16_t version1 = 0;      // at 12: firmware version, four BCD digits
    uint16_t version2 = 0;      // at 14: format version, four BCD digits
    uint32_t payloadLength = 0; // at 16: bytes from offset 20 to the end of the payload

    // The fields of the header at the start of an image of `size` bytes, or
    // nothing when the image cannot hold them (then nothing is read). Nothing
    // else is judged here.
    ZENTROVA_API static std::optional<DfuHeader> read(const uint8_t* image, size_t size, std::string* why = nullptr);
    // What every use of an image needs, in this order: both versions are four
    // BCD digits; the payload holds at least the 32-byte check block; it fits
    // in an image of `size` bytes (bytes behind it are allowed here).
    ZENTROVA_API bool valid(size_t size, std::string* why = nullptr) const;
    // read() and valid() together; `why` is emptied when the header is fine.
    ZENTROVA_API static std::optional<DfuHeader> parse(const uint8_t* image, size_t size, std::string* why = nullptr);
    // `why` receives a one-line reason for a refusal, without final period,
    // such as "version1 0x012A is not four BCD digits".

    // 20 + payloadLength: the size of an image without trailing bytes.
    uint64_t imageSize() const { return kSize + uint64_t{payloadLength}; }
    std::string_view tagText() const { return {tag, sizeof tag}; }
    // The tag equals the first 8 bytes of `expected` (compared like strncmp).
    ZENTROVA_API bool tagIs(const char* expected) const;
    // CRC-32 of header bytes 4..19, which the check block repeats.
    ZENTROVA_API uint32_t headerCrc() const;
    // The CRC at offset 0 matches bytes 4 .. size - 1 of `image`, the image
    // this header was read from; size is at least 20 (for the image alone:
    // imageSize(), once valid() holds).
    ZENTROVA_API bool crcMatches(const uint8_t* image, size_t size) const;
    // The 20 bytes of this header, CRC field included.
    ZENTROVA_API void store(uint8_t* out) const;
};

// Four BCD digits, two before and two after the point (0x0123 is 1.23), as
// the DFU header's versions and the mouse's USB bcdDevice field carry them.
// Digits are not validated: one above 9 enters with its value (0x00FF: 1.65).
struct BcdVersion {
    int major; // 10 * d3 + d2
    int minor; // 10 * d1 + d0
};

ZENTROVA_API bool isBcd(uint16_t bcd);
ZENTROVA_API BcdVersion decodeBcdVersion(uint16_t bcd);
// major + minor / 100, as getFwVersion reports it.
ZENTROVA_API float bcdVersionValue(uint16_t bcd);
// "major.minor" with two minor digits: "1.23", "0.05", "10.00".
ZENTROVA_API std::string formatBcdVersion(uint16_t bcd);

} // namespace zentrova

#endif
