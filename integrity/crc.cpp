// Reflected (LSB-first) table-driven CRCs; one lookup per byte. The tables
// are generated at compile time from the reflected polynomials and live in
// read-only data.
#include "zentrova/integrity/crc.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

template <typename T>
constexpr std::array<T, 256> makeReflectedTable(T reflectedPoly)
{
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T reg = static_cast<T>(i);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1u) ? static_cast<T>((reg >> 1) ^ reflectedPoly) : static_cast<T>(reg >> 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint8_t, 256> kCrc8Table = makeReflectedTable<uint8_t>(0x8C);
constexpr std::array<uint16_t, 256> kCrc16Table = makeReflectedTable<uint16_t>(0x8408);
constexpr std::array<uint32_t, 256> kCrc32Table = makeReflectedTable<uint32_t>(0xEDB88320u);

static_assert(kCrc8Table[1] == 0x5E && kCrc8Table[128] == 0x8C, "CRC-8 table");
static_assert(kCrc16Table[1] == 0x1189 && kCrc16Table[128] == 0x8408, "CRC-16 table");
static_assert(kCrc32Table[1] == 0x77073096u && kCrc32Table[255] == 0x2D02EF8Du, "CRC-32 table");

} // namespace

extern "C" {

ZENTROVA_API uint8_t qv_crc8_compute(const void* data, uint64_t length, uint8_t seed)
{
    const auto* p = static_cast<const uint8_t*>(data);
    uint8_t reg = seed;
    for (uint64_t i = 0; i < length; ++i)
        reg = kCrc8Table[static_cast<uint8_t>(reg ^ p[i])];
    return reg;
}

ZENTROVA_API uint16_t qv_crc16_compute(const void* data, uint64_t length, uint16_t seed)
{
    const auto* p = static_cast<const uint8_t*>(data);
    uint16_t reg = seed;
    for (uint64_t i = 0; i < length; ++i)
        reg = static_cast<uint16_t>((reg >> 8) ^ kCrc16Table[(reg ^ p[i]) & 0xFFu]);
    return reg;
}

ZENTROVA_API uint32_t qv_crc32_compute(const void* data, uint64_t length, uint32_t seed)
{
    if (length == 0)
        return seed;
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t reg = ~seed;
    for (uint64_t i = 0; i < length; ++i)
        reg = (reg >> 8) ^ kCrc32Table[(reg ^ p[i]) & 0xFFu];
    return ~reg;
}

} // extern "C"
