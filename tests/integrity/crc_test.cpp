#include "zentrova/integrity/crc.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "integrity/crc_select.h"

namespace {

// Every test runs on carry-less multiplication and on the tables.
class Crc : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!GetParam() && !crc_clmul_available())
            GTEST_SKIP() << "no carry-less multiplication on this CPU";
        crc_tables_only(GetParam());
    }
    void TearDown() override { crc_tables_only(false); }
};

INSTANTIATE_TEST_SUITE_P(Impl, Crc, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "tables" : "clmul"; });

TEST_P(Crc, CatalogueCheckValuesAndEmptyInput)
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
    EXPECT_EQ(crc32_bytewise(nullptr, 0, 0xDEADBEEFu), 0xDEADBEEFu);
}

// Random lengths up to 1 MiB at random misaligned starts with random seeds,
// once whole and once chained through random pieces (the result over one
// piece seeds the next), against the one-lookup-per-byte form and, for
// CRC-32, zlib's crc32, which uses the same seed convention.
TEST_P(Crc, AgreesWithTheBytewiseFormAndZlib)
{
    std::mt19937_64 rng(GetParam() ? 4242 : 2424);
    std::vector<uint8_t> buf((1 << 20) + 64);
    for (auto& b : buf)
        b = static_cast<uint8_t>(rng());
    for (int round = 0; round < 120; ++round) {
        // Mostly short lengths, where the paths switch, some up to 1 MiB.
        const size_t length = rng() % (round % 4 == 0 ? (1 << 20) + 1 : 300);
        const uint8_t* p = buf.data() + rng() % 64;
        const auto seed = static_cast<uint32_t>(rng());
        SCOPED_TRACE("length " + std::to_string(length) + " seed " + std::to_string(seed));
        const uint32_t crc32Expected = crc32_bytewise(p, length, seed);
        const uint16_t crc16Expected = crc16_bytewise(p, length, static_cast<uint16_t>(seed));
        const uint8_t crc8Expected = crc8_bytewise(p, length, static_cast<uint8_t>(seed));
        ASSERT_EQ(crc32Expected, crc32(seed, p, static_cast<uInt>(length)));
        ASSERT_EQ(qv_crc32_compute(p, length, seed), crc32Expected);
        ASSERT_EQ(qv_crc16_compute(p, length, static_cast<uint16_t>(seed)), crc16Expected);
        ASSERT_EQ(qv_crc8_compute(p, length, static_cast<uint8_t>(seed)), crc8Expected);
        uint32_t c32 = seed;
        uint16_t c16 = static_cast<uint16_t>(seed);
        uint8_t c8 = static_cast<uint8_t>(seed);
        for (size_t at = 0, piece; at < length; at += piece) {
            piece = std::min<size_t>(length - at, rng() % (rng() % 2 ? 100 : 70000));
            c32 = qv_crc32_compute(p + at, piece, c32);
            c16 = qv_crc16_compute(p + at, piece, c16);
            c8 = qv_crc8_compute(p + at, piece, c8);
        }
        ASSERT_EQ(c32, crc32Expected);
        ASSERT_EQ(c16, crc16Expected);
        ASSERT_EQ(c8, crc8Expected);
    }
}

} // namespace
