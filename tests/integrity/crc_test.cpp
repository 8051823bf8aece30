#include "zentrova/integrity/crc.h"

#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

const uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Crc, CatalogueCheckValues)
{
    EXPECT_EQ(qv_crc8_compute(kCheck, sizeof kCheck, 0), 0xA1);
    EXPECT_EQ(qv_crc16_compute(kCheck, sizeof kCheck, 0), 0x2189);     // KERMIT
    EXPECT_EQ(qv_crc16_compute(kCheck, sizeof kCheck, 0xFFFF), 0x6F91); // MCRF4XX
    EXPECT_EQ(qv_crc32_compute(kCheck, sizeof kCheck, 0), 0xCBF43926u);
}

TEST(Crc, ZeroLengthReturnsSeedWithoutReading)
{
    EXPECT_EQ(qv_crc8_compute(nullptr, 0, 0x5A), 0x5A);
    EXPECT_EQ(qv_crc16_compute(nullptr, 0, 0xBEEF), 0xBEEF);
    EXPECT_EQ(qv_crc32_compute(nullptr, 0, 0xDEADBEEFu), 0xDEADBEEFu);
    EXPECT_EQ(qv_crc32_compute(nullptr, 0, 0), 0u);
}

TEST(Crc, SplitAnywhereChainsToOnePass)
{
    std::mt19937 rng(12345);
    std::vector<uint8_t> buf(300);
    for (auto& b : buf)
        b = static_cast<uint8_t>(rng());
    const uint8_t whole8 = qv_crc8_compute(buf.data(), buf.size(), 0);
    const uint16_t whole16 = qv_crc16_compute(buf.data(), buf.size(), 0xFFFF);
    const uint32_t whole32 = qv_crc32_compute(buf.data(), buf.size(), 0);
    for (size_t cut = 0; cut <= buf.size(); ++cut) {
        const size_t rest = buf.size() - cut;
        EXPECT_EQ(qv_crc8_compute(buf.data() + cut, rest, qv_crc8_compute(buf.data(), cut, 0)), whole8) << cut;
        EXPECT_EQ(qv_crc16_compute(buf.data() + cut, rest, qv_crc16_compute(buf.data(), cut, 0xFFFF)), whole16)
            << cut;
        EXPECT_EQ(qv_crc32_compute(buf.data() + cut, rest, qv_crc32_compute(buf.data(), cut, 0)), whole32) << cut;
    }
}

// zlib's crc32(seed, buf, len) uses the same convention: the seed is a
// previous result (0 to start) and is complemented on entry and exit. So the
// two agree for every seed, not only for 0.
TEST(Crc, Crc32MatchesZlibForAnySeed)
{
    std::mt19937 rng(777);
    std::uniform_int_distribution<size_t> lenDist(0, 5000);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> buf(lenDist(rng));
        for (auto& b : buf)
            b = static_cast<uint8_t>(rng());
        const uint32_t seed = round % 2 ? static_cast<uint32_t>(rng()) : 0u;
        const uLong expected = crc32(seed, buf.data(), static_cast<uInt>(buf.size()));
        EXPECT_EQ(qv_crc32_compute(buf.data(), buf.size(), seed), static_cast<uint32_t>(expected))
            << "length " << buf.size() << " seed " << seed;
    }
}

} // namespace
