#include "device/DfuHeader.h"

#include <cstring>

#include "zentrova/integrity/crc.h"

namespace zentrova {

namespace {

constexpr size_t kHeaderSize = 20;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

bool isBcd(uint16_t v)
{
    for (int shift = 0; shift < 16; shift += 4)
        if (((v >> shift) & 0xF) > 9)
            return false;
    return true;
}

} // namespace

bool dfuHeaderAcceptable(const uint8_t* image, size_t size)
{
    if (!image || size < kHeaderSize)
        return false;
    if (qv_crc32_compute(image + 4, size - 4, 0) != le32(image))
        return false;
    if (std::memcmp(image + 4, "ZENTROVA", 8) != 0)
        return false;
    if (static_cast<uint64_t>(le32(image + 16)) + kHeaderSize != size)
        return false;
    if (!isBcd(le16(image + 12)))
        return false;
    const uint16_t version2 = le16(image + 14);
    return isBcd(version2) && version2 == 0x0100;
}

} // namespace zentrova
