// Reflected (LSB-first) CRCs. The tables are generated at compile time from
// the reflected polynomials and live in read-only data.
//
// Slicing by 16: table k holds the register change caused by one byte that is
// followed by k zero bytes, so 16 bytes cost 16 independent lookups instead of
// a chain of 16 dependent ones. CRC-32 on x86-64 CPUs with PCLMULQDQ folds
// four 128-bit lanes with carry-less multiplications and reduces them to 32
// bits at the end (Barrett reduction); lengths below 64 bytes and the tail
// behind the last 16-byte block go through the tables.
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
        uint32_t r = 0;
        for (unsigned j = 0; j < 8; ++j)
            r ^= s.t[15 - j][(a >> (8 * j)) & 0xFFu] ^ s.t[7 - j][(b >> (8 * j)) & 0xFFu];
        reg = static_cast<T>(r);
    }
    return bytewise(s.t[0], reg, p, n);
}

#if ZENTROVA_CRC_CLMUL

#define CRC_CLMUL __attribute__((target("pclmul,sse4.1")))

CRC_CLMUL inline __m128i load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x * k (both 64-bit halves, each by its own constant) + next.
CRC_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds the register (not complemented here) over n bytes, n >= 64 and a
// multiple of 16. Constants: x^(k) mod P for the fold distances 512 + 32 /
// 512 - 32 (four lanes), 128 + 32 / 128 - 32 (one lane), 64 (to 64 bits),
// then P and floor(x^64 / P) for the reduction, all bit-reflected.
CRC_CLMUL uint32_t foldClmul(uint32_t reg, const uint8_t* p, uint64_t n)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load128(p + 16);
    __m128i x3 = load128(p + 32);
    __m128i x4 = load128(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; n -= 64, p += 64) {
        x1 = fold(x1, k1k2, load128(p));
        x2 = fold(x2, k1k2, load128(p + 16));
        x3 = fold(x3, k1k2, load128(p + 32));
        x4 = fold(x4, k1k2, load128(p + 48));
    }
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    for (; n >= 16; n -= 16, p += 16)
        x1 = fold(x1, k3k4, load128(p));

    // 128 -> 64 bits, then 64 -> 32 by Barrett reduction.
    __m128i x2r = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
    x2r = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00), x2r);
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, mask32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2r);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

#undef CRC_CLMUL

std::atomic<bool> g_tablesOnly{false};

bool cpuHasClmul()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    }();
    return available;
}

#endif

uint32_t crc32Register(uint32_t reg, const uint8_t* p, uint64_t n)
{
#if ZENTROVA_CRC_CLMUL
    if (n >= 64 && cpuHasClmul() && !g_tablesOnly.load(std::memory_order_relaxed)) {
        const uint64_t folded = n & ~uint64_t{15};
        reg = foldClmul(reg, p, folded);
        p += folded;
        n -= folded;
    }
#endif
    return sliced(kCrc32, reg, p, n);
}

} // namespace

bool crc32_clmul_available()
{
#if ZENTROVA_CRC_CLMUL
    return cpuHasClmul();
#else
    return false;
#endif
}

void crc32_tables_only(bool tablesOnly)
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
    return sliced(kCrc8, seed, static_cast<const uint8_t*>(data), length);
}

ZENTROVA_API uint16_t qv_crc16_compute(const void* data, uint64_t length, uint16_t seed)
{
    return sliced(kCrc16, seed, static_cast<const uint8_t*>(data), length);
}

ZENTROVA_API uint32_t qv_crc32_compute(const void* data, uint64_t length, uint32_t seed)
{
    if (length == 0)
        return seed;
    return ~crc32Register(~seed, static_cast<const uint8_t*>(data), length);
}

} // extern "C"
