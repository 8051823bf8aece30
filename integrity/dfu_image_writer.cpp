// DFU image writer: lays out header, check block and segments in plain text,
// encrypts the payload as one CBC stream and stores the image CRC last.
#include "zentrova/integrity/dfu_image_writer.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "integrity/wiped_aes.h"
#include "util/byte_order.h"
#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu.h"

namespace {

using zentrova::DfuHeader;
using zentrova::putLe32;

void requireBcd(const char* name, uint16_t value)
{
    if (!zentrova::isBcd(value)) {
        char text[96];
        std::snprintf(text, sizeof text, "dfu_encode_image: %s 0x%04X is not four BCD digits", name, value);
        throw std::invalid_argument(text);
    }
}

[[noreturn]] void badSegment(size_t index, const dfu_segment_t& segment, const char* why)
{
    char text[160];
    std::snprintf(text, sizeof text, "dfu_encode_image: segment %zu at 0x%08X with %zu bytes: %s", index,
                  segment.address, segment.data.size(), why);
    throw std::invalid_argument(text);
}

} // namespace

ZENTROVA_API std::vector<uint8_t> dfu_encode_image(const std::array<uint8_t, 32>& key, std::string_view tag,
                                                   uint16_t version1, uint16_t version2,
                                                   const std::vector<dfu_segment_t>& segments,
                                                   const std::array<uint8_t, 16>& salt)
{
    if (tag.size() != 8)
        throw std::invalid_argument("dfu_encode_image: the tag must be 8 bytes, not " + std::to_string(tag.size()));
    requireBcd("version1", version1);
    requireBcd("version2", version2);

    uint64_t payloadLength = DFU_CHECK_BLOCK_SIZE;
    for (size_t i = 0; i < segments.size(); ++i) {
        const dfu_segment_t& s = segments[i];
        if (s.data.empty() || s.data.size() % 16 != 0)
            badSegment(i, s, "the data must be a nonzero multiple of 16 bytes");
        if (s.address + uint64_t{s.data.size()} > (uint64_t{1} << 32))
            badSegment(i, s, "the data runs past address 0xFFFFFFFF");
        payloadLength += DFU_SEGMENT_HEADER_SIZE + uint64_t{s.data.size()};
        if (payloadLength > UINT32_MAX - DFU_HEADER_SIZE)
            throw std::invalid_argument("dfu_encode_image: the image would reach 4 GiB");
    }

    std::vector<uint8_t> image(DFU_HEADER_SIZE + payloadLength);
    uint8_t* const out = image.data();
    DfuHeader header;
    std::memcpy(header.tag, tag.data(), sizeof header.tag);
    header.version1 = version1;
    header.version2 = version2;
    header.payloadLength = static_cast<uint32_t>(payloadLength);

    uint8_t* check = out + DFU_HEADER_SIZE;
    std::memcpy(check, salt.data(), 16);
    putLe32(check + 16, header.payloadLength);
    putLe32(check + 20, header.headerCrc());

    uint8_t* p = check + DFU_CHECK_BLOCK_SIZE;
    for (const dfu_segment_t& s : segments) {
        std::memcpy(p, "QVCS", 4);
        putLe32(p + 4, s.address);
        putLe32(p + 8, static_cast<uint32_t>(s.data.size()));
        putLe32(p + 12, qv_crc32_compute(s.data.data(), s.data.size(), 0));
        std::memcpy(p + DFU_SEGMENT_HEADER_SIZE, s.data.data(), s.data.size());
        p += DFU_SEGMENT_HEADER_SIZE + s.data.size();
    }

    zentrova::WipedAesContext cipher(key.data());
    aes256_encrypt_cbc(cipher.get(), check, payloadLength);

    header.store(out);
    header.crc = qv_crc32_compute(out + 4, 16 + payloadLength, 0);
    putLe32(out, header.crc);
    return image;
}
