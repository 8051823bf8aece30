#include "zentrova/integrity/dfu.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Key = std::array<uint8_t, 32>;

Key makeKey(uint8_t first)
{
    Key key;
    std::iota(key.begin(), key.end(), first);
    return key;
}

const Key kKey = makeKey(0x40);

Bytes pattern(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
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

void append(Bytes& to, const Bytes& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

// Stores a correct CRC at offset 0 after a header field was changed.
void recrc(Bytes& image)
{
    const uint32_t payload = get32(&image[16]);
    put32(image.data(), qv_crc32_compute(&image[4], 16 + std::min<uint64_t>(payload, image.size() - 20), 0));
}

// ---------------------------------------------------------------------------
// The decoder under test, with a callback that records what it is handed.

struct Chunk {
    uint32_t address;
    Bytes data;
    bool operator==(const Chunk& o) const { return address == o.address && data == o.data; }
};

std::vector<Chunk> g_chunks;
size_t g_acceptedCalls = SIZE_MAX; // calls after this many return false

bool recordChunk(uint32_t address, uint8_t* data, size_t size)
{
    g_chunks.push_back({address, Bytes(data, data + size)});
    return g_chunks.size() <= g_acceptedCalls;
}

struct Decoder {
    Key key = kKey;
    const char* tag = "ZENTROVA";
    uint32_t regionStart = 0;
    uint32_t regionSize = 0xFFFFFFFF;
    uint64_t chunkSize = 64;

    // Decodes from an exactly sized heap copy, so that the sanitizer build
    // catches any read behind the image.
    bool run(const Bytes& image, bool withCallback = true, size_t acceptedCalls = SIZE_MAX)
    {
        g_chunks.clear();
        g_acceptedCalls = acceptedCalls;
        std::unique_ptr<uint8_t[]> copy(new uint8_t[std::max<size_t>(image.size(), 1)]);
        std::copy(image.begin(), image.end(), copy.get());
        std::unique_ptr<uint8_t[]> work(new uint8_t[std::max<uint64_t>(32, chunkSize)]);
        dfu_image_ctx_t ctx{copy.get(), key.data(), tag, static_cast<uint32_t>(image.size()),
                            regionStart, regionSize, work.get(), chunkSize};
        return dfu_decode_image(&ctx, withCallback ? recordChunk : nullptr);
    }
};

// What a correct decoder hands over for the segments in chunks of chunkSize.
std::vector<Chunk> expectedChunks(const std::vector<dfu_segment_t>& segments, size_t chunkSize)
{
    std::vector<Chunk> out;
    for (const auto& s : segments)
        for (size_t at = 0; at < s.data.size(); at += chunkSize) {
            const size_t n = std::min(chunkSize, s.data.size() - at);
            out.push_back({static_cast<uint32_t>(s.address + at), Bytes(s.data.begin() + at, s.data.begin() + at + n)});
        }
    return out;
}

// ---------------------------------------------------------------------------
// Images the writer refuses to make, sealed by hand: `plain` is the payload
// in plain text from the check block on; its check-block fields are filled in
// from the header unless `keepCheckBlock`. Whole blocks are encrypted, a
// trailing partial block is left as it is.

struct Seal {
    const char* tag = "ZENTROVA";
    uint16_t version1 = 0x0123;
    uint16_t version2 = 0x0100;
    std::optional<uint32_t> payloadLength; // declared; default: plain.size()
    bool keepCheckBlock = false;
};

Bytes seal(Bytes plain, const Seal& opt = {})
{
    const uint32_t length = opt.payloadLength.value_or(static_cast<uint32_t>(plain.size()));
    Bytes image(20);
    std::memcpy(&image[4], opt.tag, 8);
    image[12] = static_cast<uint8_t>(opt.version1);
    image[13] = static_cast<uint8_t>(opt.version1 >> 8);
    image[14] = static_cast<uint8_t>(opt.version2);
    image[15] = static_cast<uint8_t>(opt.version2 >> 8);
    put32(&image[16], length);
    if (!opt.keepCheckBlock) {
        put32(&plain[16], length);
        put32(&plain[20], qv_crc32_compute(&image[4], 16, 0));
    }
    aes256_ctx_t aes;
    aes256_set_key(&aes, kKey.data());
    aes256_set_iv(&aes, nullptr);
    aes256_encrypt_cbc(&aes, plain.data(), plain.size() & ~size_t{15});
    append(image, plain);
    recrc(image);
    return image;
}

Bytes segmentHeader(uint32_t address, uint32_t length, uint32_t crc, const char* magic = "QVCS")
{
    Bytes h(16);
    std::memcpy(h.data(), magic, 4);
    put32(&h[4], address);
    put32(&h[8], length);
    put32(&h[12], crc);
    return h;
}

// A check block followed by one segment with the given header fields.
Bytes onePlainSegment(uint32_t address, const Bytes& data, std::optional<uint32_t> length = {},
                      std::optional<uint32_t> crc = {}, const char* magic = "QVCS")
{
    Bytes plain(32);
    append(plain, segmentHeader(address, length.value_or(static_cast<uint32_t>(data.size())),
                                crc.value_or(qv_crc32_compute(data.data(), data.size(), 0)), magic));
    append(plain, data);
    return plain;
}

// ---------------------------------------------------------------------------

TEST(DfuWriter, LayoutDecryptsWithOpenSsl)
{
    const std::array<uint8_t, 16> salt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::vector<dfu_segment_t> segments = {{0x08004000, pattern(48, 1)}, {0x20000000, pattern(16, 9)}};
    const Bytes image = dfu_encode_image(kKey, "ZENTROVA", 0x0123, 0x0100, segments, salt);
    ASSERT_EQ(image.size(), 20u + 32 + 16 + 48 + 16 + 16);
    EXPECT_EQ(get32(&image[0]), qv_crc32_compute(&image[4], image.size() - 4, 0));
    EXPECT_EQ(std::string(image.begin() + 4, image.begin() + 12), "ZENTROVA");
    EXPECT_EQ(image[12] | image[13] << 8, 0x0123);
    EXPECT_EQ(image[14] | image[15] << 8, 0x0100);
    EXPECT_EQ(get32(&image[16]), image.size() - 20);

    // Decrypt the payload with an independent implementation (zero IV).
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> c(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    const uint8_t zeroIv[16] = {};
    ASSERT_EQ(1, EVP_DecryptInit_ex(c.get(), EVP_aes_256_cbc(), nullptr, kKey.data(), zeroIv));
    EVP_CIPHER_CTX_set_padding(c.get(), 0);
    Bytes plain(image.size() - 20);
    int len = 0;
    ASSERT_EQ(1, EVP_DecryptUpdate(c.get(), plain.data(), &len, &image[20], static_cast<int>(plain.size())));
    ASSERT_EQ(static_cast<size_t>(len), plain.size());

    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 16), Bytes(salt.begin(), salt.end()));
    EXPECT_EQ(get32(&plain[16]), plain.size());
    EXPECT_EQ(get32(&plain[20]), qv_crc32_compute(&image[4], 16, 0));
    size_t at = 32;
    for (const auto& s : segments) {
        EXPECT_EQ(std::string(plain.begin() + at, plain.begin() + at + 4), "QVCS");
        EXPECT_EQ(get32(&plain[at + 4]), s.address);
        EXPECT_EQ(get32(&plain[at + 8]), s.data.size());
        EXPECT_EQ(get32(&plain[at + 12]), qv_crc32_compute(s.data.data(), s.data.size(), 0));
        EXPECT_EQ(Bytes(plain.begin() + at + 16, plain.begin() + at + 16 + s.data.size()), s.data);
        at += 16 + s.data.size();
    }
}

TEST(DfuWriter, RefusesWhatTheDecoderWouldRefuse)
{
    const std::vector<dfu_segment_t> good = {{0x1000, pattern(32, 0)}};
    EXPECT_THROW(dfu_encode_image(kKey, "ZENTROV", 0x0100, 0x0100, good), std::invalid_argument);
    EXPECT_THROW(dfu_encode_image(kKey, "ZENTROVAX", 0x0100, 0x0100, good), std::invalid_argument);
    EXPECT_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x010A, 0x0100, good), std::invalid_argument);
    EXPECT_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0xA100, good), std::invalid_argument);
    const std::vector<std::vector<dfu_segment_t>> badSegments = {
        {{0x1000, {}}},
        {{0x1000, pattern(40, 0)}},
        {{0x1000, pattern(32, 0)}, {0x2000, pattern(15, 0)}},
        {{0xFFFFFFF0, pattern(32, 0)}},
    };
    for (const auto& segments : badSegments)
        EXPECT_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, segments), std::invalid_argument);
    // The last 16 bytes of the address space are fine.
    EXPECT_NO_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, {{0xFFFFFFF0, pattern(16, 0)}}));
}

// Valid images, from only the check block to several segments, some with
// bytes behind the payload, in chunk sizes that do and do not divide them.
TEST(DfuDecode, DeliversEverySegmentInChunks)
{
    struct Case {
        std::vector<dfu_segment_t> segments;
        size_t trailing;
    };
    const Case cases[] = {
        {{}, 0},
        {{{0x08004000, pattern(48, 3)}}, 0},
        {{{0x08004000, pattern(48, 3)}}, 33},
        {{{0x08004000, pattern(16, 1)}, {0x08010000, pattern(160, 2)}, {0x08000000, pattern(4096 + 32, 3)}}, 0},
    };
    for (const auto& c : cases) {
        Bytes image = dfu_encode_image(kKey, "ZENTROVA", 0x0999, 0x0100, c.segments);
        append(image, Bytes(c.trailing, 0xEE));
        for (uint64_t chunk : {16, 32, 48, 64, 4096, 1 << 20}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + ", segments " + std::to_string(c.segments.size()) +
                         ", trailing " + std::to_string(c.trailing));
            Decoder d;
            d.chunkSize = chunk;
            EXPECT_TRUE(d.run(image));
            EXPECT_EQ(g_chunks, expectedChunks(c.segments, chunk));
            EXPECT_TRUE(d.run(image, false));
        }
    }
}

TEST(DfuDecode, CallbackThatStopsEndsTheDecoding)
{
    const Bytes image =
        dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, {{0xA000, pattern(64, 1)}, {0xB000, pattern(32, 2)}});
    Decoder d;
    d.chunkSize = 16;
    EXPECT_FALSE(d.run(image, true, 0));
    EXPECT_EQ(g_chunks.size(), 1u);
    EXPECT_FALSE(d.run(image, true, 4)); // stops on the first chunk of the second segment
    EXPECT_EQ(g_chunks.size(), 5u);
    EXPECT_TRUE(d.run(image, true, 6));
}

// Header-level refusals, each made from a valid image by one change.
TEST(DfuDecode, RefusesBadHeaders)
{
    const Bytes valid = dfu_encode_image(kKey, "ZENTROVA", 0x0123, 0x0100, {{0xA000, pattern(32, 1)}});
    struct Case {
        const char* name;
        std::function<void(Bytes&, Decoder&)> spoil;
    };
    const Case cases[] = {
        {"other tag expected", [](Bytes&, Decoder& d) { d.tag = "ZENTROVB"; }},
        {"tag in image", [](Bytes& i, Decoder&) { i[11] ^= 1; recrc(i); }},
        {"payload length 0", [](Bytes& i, Decoder&) { put32(&i[16], 0); recrc(i); }},
        {"payload length 16", [](Bytes& i, Decoder&) { put32(&i[16], 16); recrc(i); }},
        {"payload length 31", [](Bytes& i, Decoder&) { put32(&i[16], 31); recrc(i); }},
        {"payload past image", [](Bytes& i, Decoder&) { i.pop_back(); }},
        {"payload length huge", [](Bytes& i, Decoder&) { put32(&i[16], 0xFFFFFFF0); recrc(i); }},
        {"version1 digit A", [](Bytes& i, Decoder&) { i[12] = 0x2A; recrc(i); }},
        {"version2 digit F", [](Bytes& i, Decoder&) { i[15] = 0xF1; recrc(i); }},
        {"CRC field", [](Bytes& i, Decoder&) { i[0] ^= 0x80; }},
        {"payload byte", [](Bytes& i, Decoder&) { i.back() ^= 1; }},
        {"version changed, CRC recomputed", [](Bytes& i, Decoder&) { i[12] = 0x24; recrc(i); }},
        {"wrong key", [](Bytes&, Decoder& d) { d.key = makeKey(0x41); }},
        {"shorter than a header", [](Bytes& i, Decoder&) { i.resize(19); }},
        {"empty", [](Bytes& i, Decoder&) { i.clear(); }},
    };
    Decoder reference;
    ASSERT_TRUE(reference.run(valid));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = valid;
        Decoder d;
        c.spoil(image, d);
        EXPECT_FALSE(d.run(image));
        EXPECT_TRUE(g_chunks.empty());
    }
}

// Segment-level refusals, each with its own sealed image.
TEST(DfuDecode, RefusesBadSegments)
{
    const Bytes data = pattern(48, 2);
    struct Case {
        const char* name;
        Bytes plain;
        bool delivers; // data reach the callback before the refusal
    };
    Bytes leftover8 = onePlainSegment(0xA000, data);
    append(leftover8, Bytes(8, 0));
    Bytes leftover16 = onePlainSegment(0xA000, data);
    append(leftover16, Bytes(16, 0));
    Bytes secondTooLong = onePlainSegment(0xA000, data);
    append(secondTooLong, segmentHeader(0xB000, 64, 0));
    append(secondTooLong, pattern(48, 0));
    const Case cases[] = {
        {"magic", onePlainSegment(0xA000, data, {}, {}, "QVCT"), false},
        {"zero length", onePlainSegment(0xA000, data, 0u), false},
        {"40 bytes", onePlainSegment(0xA000, data, 40u), false},
        {"longer than the payload", onePlainSegment(0xA000, data, 64u), false},
        {"segment CRC", onePlainSegment(0xA000, data, {}, 0x12345678u), true},
        {"bytes left after the last segment (8)", leftover8, true},
        {"bytes left after the last segment (16)", leftover16, true},
        {"second segment runs past the payload", secondTooLong, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes image = seal(c.plain);
        Decoder d;
        d.chunkSize = 16;
        EXPECT_FALSE(d.run(image));
        EXPECT_EQ(!g_chunks.empty(), c.delivers);
        EXPECT_FALSE(d.run(image, false));
    }
    // The sealing itself is sound: the unspoilt plain text decodes.
    Decoder d;
    EXPECT_TRUE(d.run(seal(onePlainSegment(0xA000, data))));
}

// Every byte of an accepted segment lies inside the region; nothing wraps.
TEST(DfuDecode, RegionBounds)
{
    struct Case {
        uint32_t regionStart, regionSize, address, length;
        bool accepted;
    };
    const Case cases[] = {
        {0x1000, 0x1000, 0x1000, 0x1000, true},      // exactly the region
        {0x1000, 0x1000, 0x1FF0, 0x10, true},        // last byte at start + size - 1
        {0x1000, 0x1000, 0x1FF0, 0x20, false},       // one block further
        {0x1000, 0x1000, 0x2000, 0x10, false},       // just behind
        {0x1000, 0x1000, 0x0FF0, 0x20, false},       // starts below
        {0x1000, 0x1000, 0xFFFFFFF0, 0x20, false},   // wraps past 2^32 to 0x10
        {0x0000, 0x2000, 0xFFFFF000, 0x1010, false}, // wraps into the region
        {0xFFFFFF00, 0x100, 0xFFFFFFF0, 0x10, true}, // region ends exactly at 2^32
        {0xFFFF0000, 0x20000, 0xFFFFFFF0, 0x10, true},  // region sum past 2^32: still the top block
        {0xFFFF0000, 0x20000, 0xFFFFFFF0, 0x20, false}, // ... but nothing beyond 2^32
        {0xFFFF0000, 0x20000, 0x00000000, 0x10, false}, // nor its wrapped image at 0
        {0x1000, 0, 0x1000, 0x10, false},                // empty region
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("region " + std::to_string(c.regionStart) + "+" + std::to_string(c.regionSize) + ", segment " +
                     std::to_string(c.address) + "+" + std::to_string(c.length));
        Decoder d;
        d.regionStart = c.regionStart;
        d.regionSize = c.regionSize;
        EXPECT_EQ(d.run(seal(onePlainSegment(c.address, pattern(c.length, 4)))), c.accepted);
        for (const auto& chunk : g_chunks) {
            EXPECT_GE(chunk.address, c.regionStart);
            EXPECT_LE(uint64_t{chunk.address} + chunk.data.size(), uint64_t{c.regionStart} + c.regionSize);
        }
    }
}

TEST(DfuDecode, RefusesUnusableContexts)
{
    const Bytes image = dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, {{0xA000, pattern(32, 1)}});
    uint8_t work[64];
    const dfu_image_ctx_t good{image.data(), kKey.data(), "ZENTROVA", static_cast<uint32_t>(image.size()),
                               0, 0x10000, work, 64};
    const std::function<void(dfu_image_ctx_t&)> spoilers[] = {
        [](dfu_image_ctx_t& c) { c.chunk_size = 0; },   [](dfu_image_ctx_t& c) { c.chunk_size = 8; },
        [](dfu_image_ctx_t& c) { c.chunk_size = 24; },  [](dfu_image_ctx_t& c) { c.image = nullptr; },
        [](dfu_image_ctx_t& c) { c.key = nullptr; },    [](dfu_image_ctx_t& c) { c.tag = nullptr; },
        [](dfu_image_ctx_t& c) { c.work_buffer = nullptr; },
    };
    dfu_image_ctx_t ctx = good;
    EXPECT_TRUE(dfu_decode_image(&ctx, nullptr));
    EXPECT_FALSE(dfu_decode_image(nullptr, nullptr));
    for (const auto& spoil : spoilers) {
        ctx = good;
        spoil(ctx);
        EXPECT_FALSE(dfu_decode_image(&ctx, nullptr));
    }
}

// Every truncation of a valid image is refused, without reading past it.
TEST(DfuDecode, EveryTruncationIsRefused)
{
    const Bytes image =
        dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, {{0xA000, pattern(48, 1)}, {0xB000, pattern(16, 2)}});
    for (size_t size = 0; size < image.size(); ++size) {
        Decoder d;
        d.chunkSize = 16;
        EXPECT_FALSE(d.run(Bytes(image.begin(), image.begin() + size))) << size;
    }
}

} // namespace
