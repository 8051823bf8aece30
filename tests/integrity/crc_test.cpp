#include "zentrova/integrity/crc.h"

#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(Crc, CatalogueCheckValuesAndEmptyInput)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(qv_crc8_compute(check, sizeof check, 0), 0xA1);
    EXPECT_EQ(qv_crc16_compute(check, sizeof check, 0), 0x2189);     // KERMIT
    EXPECT_EQ(qv_crc16_compute(check, sizeof check, 0xFFFF), 0x6F91); // MCRF4XX
    EXPECT_EQ(qv_crc32_compute(check, sizeof check, 0), 0xCBF43926u);
    // No bytes: the seed comes back and the null pointer is not read.
    EXPECT_EQ(qv_crc8_compute(nullptr, 0, 0x5A), 0x5A);
    EXPECT_EQ(qv_crc16_compute(nullptr, 0, 0xBEEF), 0xBEEF);
    EXPECT_EQ(qv_crc32_compute(nullptr, 0, 0xDEADBEEFu), 0xDEADBEEFu);
}

TEST(Crc, SplitAnywhereChainsToOnePass)
{
    std::mt19937 rng(12345);
    std::vector<uint8_t> buf(300);
    for (auto& b : buf)
        b = static_cast<uint8_t>(rng());
    const uint8_t* p = buf.data();
    const size_t n = buf.size();
    for (size_t cut = 0; cut <= n; ++cut) {
        EXPECT_EQ(qv_crc8_compute(p + cut, n - cut, qv_crc8_compute(p, cut, 0)), qv_crc8_compute(p, n, 0)) << cut;
        EXPECT_EQ(qv_crc16_compute(p + cut, n - cut, qv_crc16_compute(p, cut, 0xFFFF)), qv_crc16_compute(p, n, 0xFFFF))
            << cut;
        EXPECT_EQ(qv_crc32_compute(p + cut, n - cut, qv_crc32_compute(p, cut, 0)), qv_crc32_compute(p, n, 0)) << cut;
    }
}

// zlib's crc32(seed, buf, len) uses the same convention: the seed is a
// previous result (0 to start) and is complemented on entry and exit. So the
// two agree for every seed, not only for 0.
TEST(Crc, Crc32MatchesZlibForAnySeed)
{
    std::mt19937 rng(777);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> buf(rng() % 5001);
        for (auto& b : buf)
            b = static_cast<uint8_t>(rng());
        const uint32_t seed = round % 2 ? static_cast<uint32_t>(rng()) : 0u;
        EXPECT_EQ(qv_crc32_compute(buf.data(), buf.size(), seed), crc32(seed, buf.data(), static_cast<uInt>(buf.size())))
            << "length " << buf.size() << " seed " << seed;
    }
}

} // namespace
