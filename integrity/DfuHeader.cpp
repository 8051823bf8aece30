#include "zentrova/integrity/DfuHeader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "util/byte_order.h"
#include "zentrova/integrity/crc.h"

namespace zentrova {

namespace {

__attribute__((format(printf, 2, 3))) bool refuse(std::string* why, const char* format, ...)
{
    if (why) {
        char text[128];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        *why = text;
    }
    return false;
}

} // namespace

std::optional<DfuHeader> DfuHeader::read(const uint8_t* image, size_t size, std::string* why)
{
    if (!image || size < kSize) {
        refuse(why, "%zu bytes cannot hold the 20-byte header", image ? size : 0);
        return std::nullopt;
    }
    DfuHeader h;
    h.crc = getLe32(image);
    std::memcpy(h.tag, image + 4, sizeof h.tag);
    h.version1 = getLe16(image + 12);
    h.version2 = getLe16(image + 14);
    h.payloadLength = getLe32(image + 16);
    return h;
}

bool DfuHeader::valid(size_t size, std::string* why) const
{
    if (!isBcd(version1))
        return refuse(why, "version1 0x%04X is not four BCD digits", version1);
    if (!isBcd(version2))
        return refuse(why, "version2 0x%04X is not four BCD digits", version2);
    if (payloadLength < kCheckBlockSize)
        return refuse(why, "a payload of %u bytes cannot hold the 32-byte check block", payloadLength);
    if (imageSize() > size)
        return refuse(why, "the payload of %u bytes runs past the end of the %zu-byte image", payloadLength, size);
    return true;
}

std::optional<DfuHeader> DfuHeader::parse(const uint8_t* image, size_t size, std::string* why)
{
    std::optional<DfuHeader> h = read(image, size, why);
    if (h && !h->valid(size, why))
        h.reset();
    else if (h && why)
        why->clear();
    return h;
}

bool DfuHeader::tagIs(const char* expected) const
{
    return std::strncmp(tag, expected, sizeof tag) == 0;
}

uint32_t DfuHeader::headerCrc() const
{
    uint8_t bytes[kSize];
    store(bytes);
    return qv_crc32_compute(bytes + 4, kSize - 4, 0);
}

bool DfuHeader::crcMatches(const uint8_t* image, size_t size) const
{
    return qv_crc32_compute(image + 4, size - 4, 0) == crc;
}

void DfuHeader::store(uint8_t* out) const
{
    putLe32(out, crc);
    std::memcpy(out + 4, tag, sizeof tag);
    putLe16(out + 12, version1);
    putLe16(out + 14, version2);
    putLe32(out + 16, payloadLength);
}

bool isBcd(uint16_t bcd)
{
    for (int shift = 0; shift < 16; shift += 4)
        if (((bcd >> shift) & 0xF) > 9)
            return false;
    return true;
}

BcdVersion decodeBcdVersion(uint16_t bcd)
{
    return {10 * ((bcd >> 12) & 0xF) + ((bcd >> 8) & 0xF), 10 * ((bcd >> 4) & 0xF) + (bcd & 0xF)};
}

float bcdVersionValue(uint16_t bcd)
{
    const BcdVersion v = decodeBcdVersion(bcd);
    return static_cast<float>(v.major) + static_cast<float>(v.minor) / 100.0f;
}

std::string formatBcdVersion(uint16_t bcd)
{
    const BcdVersion v = decodeBcdVersion(bcd);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%02d", v.major, v.minor);
    return text;
}

} // namespace zentrova
