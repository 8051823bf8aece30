// dfu_decode_image over arbitrary image bytes under a fixed key, once without
// and twice with a write callback (chunks of 16 and 4096 bytes). The results
// must agree, and every delivered chunk must lie inside the work buffer and
// the allowed region.
//
// The same bytes are then also taken as an image in plain text: the harness
// fills in the check block, encrypts the payload and stores the header CRC,
// so that the segment parser is reached with arbitrary segment headers.
//
// Corpus: fuzz/corpus/dfu_decode_image/, images of the writer under kKey
// (its key bytes are 0xA0, 0xA1, ... 0xBF) and their plain-text forms.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu.h"

namespace {

struct FixedKey {
    uint8_t bytes[32];
    FixedKey()
    {
        for (int i = 0; i < 32; ++i)
            bytes[i] = static_cast<uint8_t>(0xA0 + i);
    }
};
const FixedKey kKey;

constexpr uint32_t kRegionStart = 0x08000000;
constexpr uint32_t kRegionSize = 0x80000000;

const uint8_t* g_work = nullptr;
uint64_t g_chunk = 0;
uint64_t g_delivered = 0;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool onChunk(uint32_t address, uint8_t* data, size_t size)
{
    check(data == g_work);
    check(size > 0 && size <= g_chunk && size % 16 == 0);
    check(address >= kRegionStart && uint64_t{address} + size <= uint64_t{kRegionStart} + kRegionSize);
    g_delivered += size;
    return true;
}

bool decode(const uint8_t* image, size_t size, uint64_t chunk, dfu_write_fn write)
{
    std::vector<uint8_t> work(std::max<uint64_t>(32, chunk));
    g_work = work.data();
    g_chunk = chunk;
    dfu_image_ctx_t ctx{image, kKey.bytes, "ZENTROVA", static_cast<uint32_t>(size), kRegionStart, kRegionSize,
                        work.data(), chunk};
    return dfu_decode_image(&ctx, write);
}

void decodeAllWays(const uint8_t* image, size_t size)
{
    const bool verified = decode(image, size, 4096, nullptr);
    g_delivered = 0;
    const bool small = decode(image, size, 16, onChunk);
    const uint64_t smallBytes = g_delivered;
    g_delivered = 0;
    const bool large = decode(image, size, 4096, onChunk);
    check(verified == small && verified == large);
    if (verified)
        check(smallBytes == g_delivered);
}

uint32_t get32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Turns a plain-text image into the encrypted image the writer would make of it.
void seal(std::vector<uint8_t>& image)
{
    const uint32_t payload = get32(&image[16]);
    const size_t present = std::min<uint64_t>(payload, image.size() - 20);
    uint8_t* p = image.data() + 20;
    if (present >= 32) {
        put32(p + 16, payload);
        put32(p + 20, qv_crc32_compute(&image[4], 16, 0));
    }
    aes256_ctx_t aes;
    aes256_set_key(&aes, kKey.bytes);
    aes256_set_iv(&aes, nullptr);
    aes256_encrypt_cbc(&aes, p, present & ~size_t{15});
    put32(image.data(), qv_crc32_compute(&image[4], 16 + present, 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    // An exactly sized copy: reads past the end are caught by the sanitizer.
    std::vector<uint8_t> image(data, data + size);
    decodeAllWays(image.data(), image.size());
    if (size >= 20) {
        seal(image);
        decodeAllWays(image.data(), image.size());
    }
    return 0;
}
