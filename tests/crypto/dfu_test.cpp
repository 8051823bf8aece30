#include "zentrova/integrity/dfu.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/ProfileImage.h"
#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

using testimg::Bytes;
using testimg::pattern;
using testimg::putLe;
using Key = std::array<uint8_t, 32>;

const Key kKey = [] {
    Key key;
    std::iota(key.begin(), key.end(), 0x40);
    return key;
}();

Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Stores a correct CRC at offset 0 after a header field was changed.
void recrc(Bytes& image)
{
    const uint32_t payload = image[16] | image[17] << 8 | image[18] << 16 | static_cast<uint32_t>(image[19]) << 24;
    putLe(image, 0, qv_crc32_compute(&image[4], 16 + std::min<uint64_t>(payload, image.size() - 20), 0), 4);
}

Bytes segment(uint32_t address, const Bytes& data, std::optional<uint32_t> length = {},
              std::optional<uint32_t> crc = {}, const char* magic = "QVCS")
{
    Bytes h(16);
    std::memcpy(h.data(), magic, 4);
    putLe(h, 4, address, 4);
    putLe(h, 8, length.value_or(static_cast<uint32_t>(data.size())), 4);
    putLe(h, 12, crc.value_or(qv_crc32_compute(data.data(), data.size(), 0)), 4);
    return cat(h, data);
}

// An image made by hand, independently of the writer, also of what the writer
// refuses to make: tag "ZENTROVA", versions 0123 and 0100, a check block of
// `salt` and the filled-in fields, then `body` (segments, or anything else).
// Whole blocks are encrypted, a trailing partial block is left as it is.
Bytes seal(const Bytes& body, const Bytes& salt = Bytes(16))
{
    Bytes image = {0, 0, 0, 0, 'Z', 'E', 'N', 'T', 'R', 'O', 'V', 'A', 0x23, 0x01, 0x00, 0x01, 0, 0, 0, 0};
    Bytes plain = cat(cat(salt, Bytes(16)), body);
    putLe(image, 16, static_cast<uint32_t>(plain.size()), 4);
    putLe(plain, 16, static_cast<uint32_t>(plain.size()), 4);
    putLe(plain, 20, qv_crc32_compute(&image[4], 16, 0), 4);
    aes256_ctx_t aes;
    aes256_set_key(&aes, kKey.data());
    aes256_set_iv(&aes, nullptr);
    aes256_encrypt_cbc(&aes, plain.data(), plain.size() & ~size_t{15});
    image = cat(image, plain);
    recrc(image);
    return image;
}

// The decoder under test, with a callback that records what it is handed.
using Chunk = std::pair<uint32_t, Bytes>; // address, data
std::vector<Chunk> g_chunks;
size_t g_acceptedCalls = SIZE_MAX; // calls after this many return false

bool recordChunk(uint32_t address, uint8_t* data, size_t size)
{
    g_chunks.push_back({address, Bytes(data, data + size)});
    return g_chunks.size() <= g_acceptedCalls;
}

struct Decoder {
    Key key = kKey;
    uint32_t regionStart = 0;
    uint32_t regionSize = 0xFFFFFFFF;
    uint64_t chunkSize = 64;
    std::function<void(dfu_image_ctx_t&)> spoil = [](dfu_image_ctx_t&) {};

    // Decodes from a copy of exactly the image's size, so that the sanitizer
    // build catches any read behind the image.
    bool run(const Bytes& image, bool withCallback = true, size_t acceptedCalls = SIZE_MAX)
    {
        g_chunks.clear();
        g_acceptedCalls = acceptedCalls;
        const Bytes copy = image;
        Bytes work(std::max<uint64_t>(32, chunkSize));
        dfu_image_ctx_t ctx{copy.data(), key.data(), "ZENTROVA", static_cast<uint32_t>(copy.size()),
                            regionStart, regionSize, work.data(), chunkSize};
        spoil(ctx);
        return dfu_decode_image(&ctx, withCallback ? recordChunk : nullptr);
    }
};

TEST(DfuWriter, ImageIsTheHandSealedLayout)
{
    std::array<uint8_t, 16> salt;
    std::iota(salt.begin(), salt.end(), 1);
    const Bytes a = pattern(48, 1), b = pattern(16, 9);
    EXPECT_EQ(dfu_encode_image(kKey, "ZENTROVA", 0x0123, 0x0100, {{0x08004000, a}, {0x20000000, b}}, salt),
              seal(cat(segment(0x08004000, a), segment(0x20000000, b)), Bytes(salt.begin(), salt.end())));
}

TEST(DfuWriter, RefusesWhatTheDecoderWouldRefuse)
{
    const std::vector<dfu_segment_t> good = {{0x1000, pattern(32, 0)}};
    EXPECT_THROW(dfu_encode_image(kKey, "ZENTROV", 0x0100, 0x0100, good), std::invalid_argument);
    EXPECT_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x010A, 0x0100, good), std::invalid_argument);
    for (const auto& segments : std::vector<std::vector<dfu_segment_t>>{
             {{0x1000, {}}},
             {{0x1000, pattern(32, 0)}, {0x2000, pattern(15, 0)}},
             {{0xFFFFFFF0, pattern(32, 0)}},
         })
        EXPECT_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, segments), std::invalid_argument);
    // The last 16 bytes of the address space are fine.
    EXPECT_NO_THROW(dfu_encode_image(kKey, "ZENTROVA", 0x0100, 0x0100, {{0xFFFFFFF0, pattern(16, 0)}}));
}

// Valid images, from only the check block to several segments, in chunk sizes
// that do and do not divide them.
TEST(DfuDecode, DeliversEverySegmentInChunks)
{
    const std::vector<dfu_segment_t> cases[] = {
        {},
        {{0x08004000, pattern(48, 3)}},
        {{0x08004000, pattern(16, 1)}, {0x08010000, pattern(160, 2)}, {0x08000000, pattern(4096 + 32, 3)}},
    };
    for (const auto& segments : cases) {
        // Bytes behind the payload are not looked at.
        const Bytes image = cat(dfu_encode_image(kKey, "ZENTROVA", 0x0999, 0x0100, segments), Bytes(33, 0xEE));
        for (uint64_t chunk : {16, 48, 64, 4096, 1 << 20}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + ", segments " + std::to_string(segments.size()));
            std::vector<Chunk> expected;
            for (const auto& s : segments)
                for (size_t at = 0; at < s.data.size(); at += chunk)
                    expected.push_back({static_cast<uint32_t>(s.address + at),
                                        Bytes(s.data.begin() + at,
                                              s.data.begin() + std::min<size_t>(at + chunk, s.data.size()))});
            Decoder d;
            d.chunkSize = chunk;
            EXPECT_TRUE(d.run(image));
            EXPECT_EQ(g_chunks, expected);
            EXPECT_TRUE(d.run(image, false));
        }
    }
}

// Every refusal, each made from a valid image by one change; `delivers` when
// data reach the callback before the fault shows. The valid image decodes in
// three chunks. (Header fields the header reader refuses: its own test.)
TEST(DfuDecode, RefusesEveryFault)
{
    const Bytes data = pattern(48, 2);
    const Bytes valid = seal(segment(0xA000, data));
    const auto spoilt = [&valid](const std::function<void(Bytes&)>& spoil, bool fixCrc = true) {
        Bytes image = valid;
        spoil(image);
        if (fixCrc)
            recrc(image);
        return image;
    };
    const struct {
        const char* name;
        Bytes image;
        bool delivers;
    } cases[] = {
        {"tag", spoilt([](Bytes& i) { i[11] ^= 1; }), false},
        {"payload length huge", spoilt([](Bytes& i) { putLe(i, 16, 0xFFFFFFF0, 4); }), false},
        {"CRC field", spoilt([](Bytes& i) { i[0] ^= 0x80; }, false), false},
        {"payload byte", spoilt([](Bytes& i) { i.back() ^= 1; }, false), false},
        {"version changed, CRC recomputed", spoilt([](Bytes& i) { i[12] = 0x24; }), false},
        {"magic", seal(segment(0xA000, data, {}, {}, "QVCT")), false},
        {"zero length", seal(segment(0xA000, data, 0u)), false},
        {"40 bytes", seal(segment(0xA000, data, 40u)), false},
        {"longer than the payload", seal(segment(0xA000, data, 64u)), false},
        {"segment CRC", seal(segment(0xA000, data, {}, 0x12345678u)), true},
        {"8 bytes left after the last segment", seal(cat(segment(0xA000, data), Bytes(8))), true},
        {"16 bytes left after the last segment", seal(cat(segment(0xA000, data), Bytes(16))), true},
        {"second segment runs past the payload",
         seal(cat(segment(0xA000, data), segment(0xB000, pattern(48, 0), 64u))), true},
    };
    Decoder d;
    d.chunkSize = 16;
    ASSERT_TRUE(d.run(valid));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(d.run(c.image));
        EXPECT_EQ(!g_chunks.empty(), c.delivers);
        EXPECT_FALSE(d.run(c.image, false));
    }
    // A callback that stops ends the decoding at once.
    EXPECT_FALSE(d.run(valid, true, 0));
    EXPECT_EQ(g_chunks.size(), 1u);
    EXPECT_FALSE(d.run(valid, true, 2));
    EXPECT_EQ(g_chunks.size(), 3u);
    EXPECT_TRUE(d.run(valid, true, 3));
    // Every truncation, without reading past it: the payload runs past the image.
    for (size_t size = 0; size < valid.size(); ++size)
        EXPECT_FALSE(d.run(Bytes(valid.begin(), valid.begin() + size))) << size;
    // Another key: the check block does not decrypt.
    d.key[31] ^= 1;
    EXPECT_FALSE(d.run(valid));
    EXPECT_TRUE(g_chunks.empty());
}

// Every byte of an accepted segment lies inside the region; nothing wraps.
TEST(DfuDecode, RegionBounds)
{
    const struct {
        uint32_t regionStart, regionSize, address, length;
        bool accepted;
    } cases[] = {
        {0x1000, 0x1000, 0x1000, 0x1000, true},      // exactly the region, last byte at start + size - 1
        {0x1000, 0x1000, 0x1FF0, 0x20, false},       // one block further
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
        SCOPED_TRACE(&c - cases);
        Decoder d;
        d.regionStart = c.regionStart;
        d.regionSize = c.regionSize;
        EXPECT_EQ(d.run(seal(segment(c.address, pattern(c.length, 4)))), c.accepted);
        EXPECT_EQ(g_chunks.empty(), !c.accepted); // nothing outside the region reaches the callback
    }
}

// Null pointers, and chunk sizes that would loop forever or split a block.
TEST(DfuDecode, RefusesUnusableContexts)
{
    EXPECT_FALSE(dfu_decode_image(nullptr, nullptr));
    const std::function<void(dfu_image_ctx_t&)> spoilers[] = {
        [](dfu_image_ctx_t& c) { c.chunk_size = 0; },   [](dfu_image_ctx_t& c) { c.chunk_size = 8; },
        [](dfu_image_ctx_t& c) { c.chunk_size = 24; },  [](dfu_image_ctx_t& c) { c.image = nullptr; },
        [](dfu_image_ctx_t& c) { c.key = nullptr; },    [](dfu_image_ctx_t& c) { c.tag = nullptr; },
        [](dfu_image_ctx_t& c) { c.work_buffer = nullptr; },
    };
    Decoder d;
    for (const auto& spoil : spoilers) {
        d.spoil = spoil;
        EXPECT_FALSE(d.run(seal(segment(0xA000, pattern(32, 1)))));
        EXPECT_TRUE(g_chunks.empty());
    }
}

// The one header reader: its fields, and each refusal with its reason.
TEST(DfuHeader, ReadsFieldsAndSaysWhyItRefuses)
{
    const Bytes valid = seal(segment(0xA000, pattern(16, 1))); // 84 bytes, payload 64
    std::string why = "stale";
    const auto h = zentrova::DfuHeader::parse(valid.data(), valid.size(), &why);
    ASSERT_TRUE(h);
    EXPECT_EQ(why, "");
    EXPECT_EQ(h->tagText(), "ZENTROVA");
    EXPECT_TRUE(h->tagIs("ZENTROVA") && !h->tagIs("ZENTROVB"));
    EXPECT_EQ(h->version1, 0x0123);
    EXPECT_EQ(h->version2, 0x0100);
    EXPECT_EQ(h->imageSize(), 84u);
    EXPECT_EQ(h->headerCrc(), qv_crc32_compute(&valid[4], 16, 0));
    EXPECT_TRUE(h->crcMatches(valid.data(), valid.size()));
    Bytes stored(20);
    h->store(stored.data());
    EXPECT_EQ(stored, Bytes(valid.begin(), valid.begin() + 20));

    const struct {
        std::function<void(Bytes&)> spoil;
        const char* why;
    } cases[] = {
        {[](Bytes& i) { i.resize(19); }, "19 bytes cannot hold the 20-byte header"},
        {[](Bytes& i) { i.resize(20); }, "the payload of 64 bytes runs past the end of the 20-byte image"},
        {[](Bytes& i) { i[12] = 0x2A; }, "version1 0x012A is not four BCD digits"},
        {[](Bytes& i) { i[15] = 0xF1; }, "version2 0xF100 is not four BCD digits"},
        {[](Bytes& i) { putLe(i, 16, 31, 4); }, "a payload of 31 bytes cannot hold the 32-byte check block"},
        {[](Bytes& i) { putLe(i, 16, 65, 4); }, "the payload of 65 bytes runs past the end of the 84-byte image"},
    };
    for (const auto& c : cases) {
        Bytes image = valid;
        c.spoil(image);
        EXPECT_FALSE(zentrova::DfuHeader::parse(image.data(), image.size(), &why));
        EXPECT_EQ(why, c.why);
    }
    EXPECT_FALSE(zentrova::DfuHeader::parse(nullptr, 100));
    // Versions as text: the leading zero of the major number dropped ("1.23" is pinned elsewhere).
    EXPECT_EQ(zentrova::formatBcdVersion(0x1005), "10.05");
}

} // namespace
