// dfu_decode_image over arbitrary image bytes under a fixed key (0xA0, 0xA1,
// ... 0xBF): verifying only, and with a write callback in chunks of 16 and of
// 4096 bytes. All three must agree, and every chunk must lie in the work
// buffer and the allowed region; an accepted image has a header that
// zentrova::DfuHeader::parse accepts with the same tag. The same bytes are then sealed as a plain-text
// image (check block filled in, payload encrypted, header CRC stored), so that
// arbitrary segment headers reach the segment parser.
//
// Corpus: fuzz/corpus/dfu_decode_image/, writer images and their plain texts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::array<uint8_t, 32> kKey = [] {
    std::array<uint8_t, 32> key;
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<uint8_t>(0xA0 + i);
    return key;
}();
constexpr uint64_t kRegionStart = 0x08000000, kRegionEnd = kRegionStart + 0x80000000;

const uint8_t* g_work;
uint64_t g_chunk, g_delivered;

bool onChunk(uint32_t address, uint8_t* data, size_t size)
{
    if (data != g_work || size == 0 || size > g_chunk || size % 16 != 0 || address < kRegionStart ||
        address + size > kRegionEnd)
        std::abort();
    g_delivered += size;
    return true;
}

bool decode(const Bytes& image, uint64_t chunk, dfu_write_fn write)
{
    Bytes work(std::max<uint64_t>(32, chunk));
    g_work = work.data();
    g_chunk = chunk;
    g_delivered = 0;
    dfu_image_ctx_t ctx{image.data(), kKey.data(), "ZENTROVA", static_cast<uint32_t>(image.size()),
                        kRegionStart, kRegionEnd - kRegionStart, work.data(), chunk};
    return dfu_decode_image(&ctx, write);
}

void decodeAllWays(const Bytes& image) // an exactly sized copy: reads past it trip the sanitizer
{
    const bool verified = decode(image, 4096, nullptr);
    const bool small = decode(image, 16, onChunk);
    const uint64_t smallBytes = g_delivered;
    if (decode(image, 4096, onChunk) != verified || small != verified || (verified && smallBytes != g_delivered))
        std::abort();
    const auto header = zentrova::DfuHeader::parse(image.data(), image.size());
    if (verified && !(header && header->tagIs("ZENTROVA")))
        std::abort();
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    Bytes image(data, data + size);
    decodeAllWays(image);
    if (size < 20)
        return 0;
    const uint32_t payload = image[16] | image[17] << 8 | image[18] << 16 | static_cast<uint32_t>(image[19]) << 24;
    const size_t present = std::min<uint64_t>(payload, size - 20);
    if (present >= 32) {
        put32(&image[36], payload);
        put32(&image[40], qv_crc32_compute(&image[4], 16, 0));
    }
    aes256_ctx_t aes;
    aes256_set_key(&aes, kKey.data());
    aes256_set_iv(&aes, nullptr);
    aes256_encrypt_cbc(&aes, image.data() + 20, present & ~size_t{15});
    put32(image.data(), qv_crc32_compute(&image[4], 16 + present, 0));
    decodeAllWays(image);
    return 0;
}
