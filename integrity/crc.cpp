// Reflected (LSB-first) CRCs. The tables are generated at compile time from
// the reflected polynomials and live in read-only data.
//
// Slicing by 16: table k holds the register change caused by one byte that is
// followed by k zero bytes, so 16 bytes cost 16 independent lookups instead of
// a chain of 16 dependent ones.
//
// On x86-64 CPUs with PCLMULQDQ all three CRCs fold the data instead: four
// 128-bit lanes, each multiplied (carry-less) by x^512 mod P and added to the
// next 64 bytes, then folded by x^128 into one lane. A lane then stands for a
// polynomial congruent to the data so far modulo P, so the CRC of its 16 bytes
// (one slicing step, from a zero register) is the register after the data.
// Lengths below 64 and the bytes behind the last 16-byte block go through the
// tables.
#include "zentrova/integrity/crc.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "integrity/crc_select.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZENTROVA_CRC_CLMUL 1
#include <immintrin.h>
#else
#define ZENTROVA_CRC_CLMUL 0
#endif

namespace {

constexpr unsigned kSlices = 16;

template <typename T>
struct SliceTables {
    T t[kSlices][256];
};

template <typename T>
constexpr SliceTables<T> makeSliceTables(T reflectedPoly)
{
    SliceTables<T> s{};
    for (unsigned i = 0; i < 256; ++i) {
        T reg = static_cast<T>(i);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1u) ? static_cast<T>((reg >> 1) ^ reflectedPoly) : static_cast<T>(reg >> 1);
        s.t[0][i] = reg;
    }
    for (unsigned k = 1; k < kSlices; ++k)
        for (unsigned i = 0; i < 256; ++i) {
            const T prev = s.t[k - 1][i];
            s.t[k][i] = static_cast<T>((uint64_t{prev} >> 8) ^ s.t[0][prev & 0xFFu]);
        }
    return s;
}

constexpr SliceTables<uint8_t> kCrc8 = makeSliceTables<uint8_t>(0x8C);
constexpr SliceTables<uint16_t> kCrc16 = makeSliceTables<uint16_t>(0x8408);
constexpr SliceTables<uint32_t> kCrc32 = makeSliceTables<uint32_t>(0xEDB88320u);

static_assert(kCrc8.t[0][1] == 0x5E && kCrc8.t[0][128] == 0x8C, "CRC-8 table");
static_assert(kCrc16.t[0][1] == 0x1189 && kCrc16.t[0][128] == 0x8408, "CRC-16 table");
static_assert(kCrc32.t[0][1] == 0x77073096u && kCrc32.t[0][255] == 0x2D02EF8Du, "CRC-32 table");

template <typename T>
inline T bytewise(const T (&table)[256], T reg, const uint8_t* p, uint64_t n)
{
    for (uint64_t i = 0; i < n; ++i)
        reg = static_cast<T>((uint64_t{reg} >> 8) ^ table[(reg ^ p[i]) & 0xFFu]);
    return reg;
}

inline uint64_t load64le(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// Byte j of the 16 (j = 0 first in memory) goes through table 15 - j. The
// register's bytes pair with the first bytes of the block.
template <typename T>
T sliced(const SliceTables<T>& s, T reg, const uint8_t* p, uint64_t n)
{
    for (; n >= 16; n -= 16, p += 16) {
        const uint64_t a = load64le(p) ^ reg;
        const uint64_t b = load64le(p + 8);
        // Four independent chains of XORs, not one of sixteen.
        uint32_t r[4] = {};
        for (unsigned j = 0; j < 4; ++j) {
            r[0] ^= s.t[15 - j][(a >> (8 * j)) & 0xFFu];
            r[1] ^= s.t[11 - j][(a >> (8 * j + 32)) & 0xFFu];
            r[2] ^= s.t[7 - j][(b >> (8 * j)) & 0xFFu];
            r[3] ^= s.t[3 - j][(b >> (8 * j + 32)) & 0xFFu];
        }
        reg = static_cast<T>((r[0] ^ r[1]) ^ (r[2] ^ r[3]));
    }
    return bytewise(s.t[0], reg, p, n);
}

// x^n mod P for the polynomial P of `width` bits (normal form, top bit
// implied), returned bit-reflected in 64 bits: coefficient d at bit 63 - d.
constexpr uint64_t xPowerModReflected(uint32_t poly, int width, int n)
{
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r >> width) & 1)
            r ^= (uint64_t{1} << width) | poly;
    }
    uint64_t reflected = 0;
    for (int d = 0; d < width; ++d)
        if ((r >> d) & 1)
            reflected |= uint64_t{1} << (63 - d);
    return reflected;
}

// Constants to move a 128-bit lane D bits on: its first 64 bits (the higher
// powers) are multiplied by x^(D+64) mod P, the last 64 by x^D mod P. The
// product of two reflected 64-bit values comes out one power short in a
// 128-bit lane, so each constant is one power lower.
struct FoldConstants {
    uint64_t k512first, k512last, k128first, k128last;
};

constexpr FoldConstants makeFoldConstants(uint32_t poly, int width)
{
    return {xPowerModReflected(poly, width, 512 + 63), xPowerModReflected(poly, width, 512 - 1),
            xPowerModReflected(poly, width, 128 + 63), xPowerModReflected(poly, width, 128 - 1)};
}

constexpr FoldConstants kFold8 = makeFoldConstants(0x31, 8);
constexpr FoldConstants kFold16 = makeFoldConstants(0x1021, 16);
constexpr FoldConstants kFold32 = makeFoldConstants(0x04C11DB7u, 32);

// The same powers in the published 33-bit form of the CRC-32 folding
// constants (coefficient d at bit 32 - d): x^96 and x^160 mod P.
static_assert(xPowerModReflected(0x04C11DB7u, 32, 96) >> 31 == 0xCCAA009Eu &&
                  xPowerModReflected(0x04C11DB7u, 32, 160) >> 31 == 0x1751997D0u,
              "fold constants");

#if ZENTROVA_CRC_CLMUL

#define CRC_CLMUL __attribute__((target("pclmul,sse2")))

CRC_CLMUL inline __m128i load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The lane moved on by the constants' distance, added to the lane there.
CRC_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// The register after n bytes, n >= 64 and a multiple of 16.
template <typename T>
CRC_CLMUL T foldClmul(const SliceTables<T>& tables, const FoldConstants& c, T reg, const uint8_t* p, uint64_t n)
{
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(c.k512last), static_cast<long long>(c.k512first));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(c.k128last), static_cast<long long>(c.k128first));
    __m128i x1 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load128(p + 16);
    __m128i x3 = load128(p + 32);
    __m128i x4 = load128(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; n -= 64, p += 64) {
        x1 = fold(x1, k512, load128(p));
        x2 = fold(x2, k512, load128(p + 16));
        x3 = fold(x3, k512, load128(p + 32));
        x4 = fold(x4, k512, load128(p + 48));
    }
    x1 = fold(x1, k128, x2);
    x1 = fold(x1, k128, x3);
    x1 = fold(x1, k128, x4);
    for (; n >= 16; n -= 16, p += 16)
        x1 = fold(x1, k128, load128(p));
    uint8_t lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x1);
    return sliced(tables, T{0}, lane, 16);
}

#undef CRC_CLMUL

std::atomic<bool> g_tablesOnly{false};

bool cpuHasClmul()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") != 0;
    }();
    return available;
}

#endif

template <typename T>
T crcRegister(const SliceTables<T>& tables, const FoldConstants& c, T reg, const uint8_t* p, uint64_t n)
{
#if ZENTROVA_CRC_CLMUL
    if (n >= 64 && cpuHasClmul() && !g_tablesOnly.load(std::memory_order_relaxed)) {
        const uint64_t folded = n & ~uint64_t{15};
        reg = foldClmul(tables, c, reg, p, folded);
        p += folded;
        n -= folded;
    }
#else
    (void)c;
#endif
    return sliced(tables, reg, p, n);
}

} // namespace

bool crc_clmul_available()
{
#if ZENTROVA_CRC_CLMUL
    return cpuHasClmul();
#else
    return false;
#endif
}

void crc_tables_only(bool tablesOnly)
{
#if ZENTROVA_CRC_CLMUL
    g_tablesOnly.store(tablesOnly);
#else
    (void)tablesOnly;
#endif
}

uint8_t crc8_bytewise(const void* data, uint64_t length, uint8_t seed)
{
    return bytewise(kCrc8.t[0], seed, static_cast<const uint8_t*>(data), length);
}

uint16_t crc16_bytewise(const void* data, uint64_t length, uint16_t seed)
{
    return bytewise(kCrc16.t[0], seed, static_cast<const uint8_t*>(data), length);
}

uint32_t crc32_bytewise(const void* data, uint64_t length, uint32_t seed)
{
    if (length == 0)
        return seed;
    return ~bytewise(kCrc32.t[0], ~seed, static_cast<const uint8_t*>(data), length);
}

extern "C" {

ZENTROVA_API uint8_t qv_crc8_compute(const void* data, uint64_t length, uint8_t seed)
{
    return crcRegister(kCrc8, kFold8, seed, static_cast<const uint8_t*>(data), length);
}

ZENTROVA_API uint16_t qv_crc16_compute(const void* data, uint64_t length, uint16_t seed)
{
    return crcRegister(kCrc16, kFold16, seed, static_cast<const uint8_t*>(data), length);
}

ZENTROVA_API uint32_t qv_crc32_compute(const void* data, uint64_t length, uint32_t seed)
{
    if (length == 0)
        return seed;
    return ~crcRegister(kCrc32, kFold32, ~seed, static_cast<const uint8_t*>(data), length);
}

} // extern "C"
