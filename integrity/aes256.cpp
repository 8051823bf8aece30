// AES-256 with the round keys expanded once per call.
//
// The state and the 32-byte key-schedule window are handled as little-endian
// 32-bit words: word c of the state is column c, byte r of a word is row r.
// The window holds two consecutive round keys (2k, 2k+1); one schedule step
// advances it to (2k+2, 2k+3). Every CBC or block call expands the fifteen
// round keys from enc_key into an array on its own stack -- for decryption the
// keys of the equivalent inverse cipher (InvMixColumns applied to rounds 1-13)
// -- and wipes that array before it returns; the context stores no schedule.
//
// The portable code uses four 1 KiB round tables per direction (SubBytes,
// ShiftRows and MixColumns of one byte), built at compile time with the S-boxes;
// CBC decryption interleaves two blocks. On x86-64 processors with AES
// instructions those instructions run instead (chosen at run time; see
// aes256_select.h): an order of magnitude faster and, unlike table lookups,
// the same time whatever the key and data. CBC decryption there works on
// eight blocks at once, or sixteen with VAES.
#include "zentrova/integrity/aes256.h"

#include <array>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <string.h>

#include "integrity/aes256_select.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZENTROVA_AES_HW 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define ZENTROVA_AES_HW 0
#endif

namespace {

constexpr uint8_t rotl8(uint8_t x, int shift)
{
    return static_cast<uint8_t>((x << shift) | (x >> (8 - shift)));
}

struct SBoxes {
    std::array<uint8_t, 256> forward{};
    std::array<uint8_t, 256> inverse{};
};

// Walks the multiplicative group of GF(2^8) with generator 3: p runs through
// all nonzero elements while q holds its inverse; S(p) is the affine map of q.
constexpr SBoxes makeSBoxes()
{
    SBoxes boxes{};
    uint8_t p = 1;
    uint8_t q = 1;
    do {
        p = static_cast<uint8_t>(p ^ (p << 1) ^ ((p & 0x80) ? 0x1B : 0));
        q = static_cast<uint8_t>(q ^ (q << 1));
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if (q & 0x80)
            q ^= 0x09;
        const uint8_t s = static_cast<uint8_t>(q ^ rotl8(q, 1) ^ rotl8(q, 2) ^ rotl8(q, 3) ^ rotl8(q, 4) ^ 0x63);
        boxes.forward[p] = s;
    } while (p != 1);
    boxes.forward[0] = 0x63;
    for (unsigned i = 0; i < 256; ++i)
        boxes.inverse[boxes.forward[i]] = static_cast<uint8_t>(i);
    return boxes;
}

constexpr SBoxes kBoxes = makeSBoxes();
constexpr const std::array<uint8_t, 256>& kSbox = kBoxes.forward;
constexpr const std::array<uint8_t, 256>& kInvSbox = kBoxes.inverse;

static_assert(kSbox[0x00] == 0x63 && kSbox[0x01] == 0x7C && kSbox[0x53] == 0xED && kSbox[0xFF] == 0x16, "S-box");
static_assert(kInvSbox[0x63] == 0x00 && kInvSbox[0x16] == 0xFF && kInvSbox[0x00] == 0x52, "inverse S-box");

inline uint32_t load32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline void store32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t rotr32(uint32_t x, int shift)
{
    return (x >> shift) | (x << (32 - shift));
}

// Byte `index` of a word, as a table index (unsigned and as wide as a pointer).
inline size_t byteOf(uint32_t w, int index)
{
    return (w >> (8 * index)) & 0xFFu;
}

// Multiplication by 2 in GF(2^8) of each of the four bytes of a word.
inline uint32_t xtime4(uint32_t v)
{
    return ((v & 0x7F7F7F7Fu) << 1) ^ (((v >> 7) & 0x01010101u) * 0x1Bu);
}

inline uint8_t xtime(uint8_t v)
{
    return static_cast<uint8_t>((v << 1) ^ ((v & 0x80) ? 0x1B : 0));
}

inline uint32_t subWord(uint32_t w)
{
    return static_cast<uint32_t>(kSbox[byteOf(w, 0)]) | static_cast<uint32_t>(kSbox[byteOf(w, 1)]) << 8 |
           static_cast<uint32_t>(kSbox[byteOf(w, 2)]) << 16 | static_cast<uint32_t>(kSbox[byteOf(w, 3)]) << 24;
}

using Window = uint32_t[8];

// One step of the AES-256 key schedule: round keys (2k, 2k+1) -> (2k+2, 2k+3).
// rotr32(w7, 8) is RotWord of the last word in this byte order.
inline void scheduleForward(Window k, uint8_t rc)
{
    k[0] ^= subWord(rotr32(k[7], 8)) ^ rc;
    k[1] ^= k[0];
    k[2] ^= k[1];
    k[3] ^= k[2];
    k[4] ^= subWord(k[3]);
    k[5] ^= k[4];
    k[6] ^= k[5];
    k[7] ^= k[6];
}

inline void loadWindow(Window k, const uint8_t* bytes)
{
    for (int i = 0; i < 8; ++i)
        k[i] = load32(bytes + 4 * i);
}

inline void storeWindow(uint8_t* bytes, const Window k)
{
    for (int i = 0; i < 8; ++i)
        store32(bytes + 4 * i, k[i]);
}

// MixColumns of one column: b[i] = 2(a[i] ^ a[i+1]) ^ a[i+1] ^ a[i+2] ^ a[i+3].
inline uint32_t mixColumn(uint32_t x)
{
    const uint32_t r8 = rotr32(x, 8);
    return xtime4(x ^ r8) ^ r8 ^ rotr32(x, 16) ^ rotr32(x, 24);
}

// InvMixColumns as MixColumns after multiplying a[i] ^ a[i+2] by 4 into both.
inline uint32_t invMixColumn(uint32_t x)
{
    const uint32_t t = x ^ rotr32(x, 16);
    return mixColumn(x ^ xtime4(xtime4(t)));
}

constexpr uint8_t gmul(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    for (; b != 0; b = static_cast<uint8_t>(b >> 1)) {
        if (b & 1)
            product ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
    }
    return product;
}

constexpr uint32_t rotl32c(uint32_t x, int shift)
{
    return shift == 0 ? x : (x << shift) | (x >> (32 - shift));
}

// Table r maps the byte in row r of a column to that byte's share of the
// round output column: S-box then the (Inv)MixColumns column for row r.
struct RoundTables {
    uint32_t t[4][256];
};

constexpr RoundTables makeRoundTables(const std::array<uint8_t, 256>& box, uint8_t m0, uint8_t m1, uint8_t m2,
                                      uint8_t m3)
{
    RoundTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        const uint8_t s = box[i];
        const uint32_t column = uint32_t{gmul(s, m0)} | uint32_t{gmul(s, m1)} << 8 | uint32_t{gmul(s, m2)} << 16 |
                                uint32_t{gmul(s, m3)} << 24;
        for (int r = 0; r < 4; ++r)
            tables.t[r][i] = rotl32c(column, 8 * r);
    }
    return tables;
}

constexpr RoundTables kEncTables = makeRoundTables(kSbox, 2, 1, 1, 3);
constexpr RoundTables kDecTables = makeRoundTables(kInvSbox, 14, 9, 13, 11);

static_assert(kEncTables.t[0][0] == 0xA56363C6u && kDecTables.t[0][0] == 0x50A7F451u, "round tables");

// Fifteen round keys of four words, wiped when they go out of scope.
struct RoundKeys {
    uint32_t w[15][4];
    RoundKeys() = default;
    RoundKeys(const RoundKeys&) = delete;
    RoundKeys& operator=(const RoundKeys&) = delete;
    ~RoundKeys() { explicit_bzero(w, sizeof w); }
};

void expandEncryptKeys(const uint8_t* key, RoundKeys& keys)
{
    Window k;
    loadWindow(k, key);
    uint8_t rc = 1;
    for (int pair = 0;; ++pair) {
        std::memcpy(keys.w[2 * pair], k, 16);
        if (pair == 7)
            break;
        std::memcpy(keys.w[2 * pair + 1], k + 4, 16);
        scheduleForward(k, rc);
        rc = xtime(rc);
    }
    explicit_bzero(k, sizeof k);
}

// The keys of the equivalent inverse cipher, in the order they are used.
void expandDecryptKeys(const uint8_t* key, RoundKeys& keys)
{
    RoundKeys forward;
    expandEncryptKeys(key, forward);
    for (int round = 0; round <= 14; ++round)
        for (int c = 0; c < 4; ++c) {
            const uint32_t w = forward.w[14 - round][c];
            keys.w[round][c] = round == 0 || round == 14 ? w : invMixColumn(w);
        }
}

inline uint32_t encColumn(uint32_t s0, uint32_t s1, uint32_t s2, uint32_t s3, uint32_t key)
{
    const auto& t = kEncTables.t;
    return (t[0][byteOf(s0, 0)] ^ t[1][byteOf(s1, 1)]) ^ (t[2][byteOf(s2, 2)] ^ t[3][byteOf(s3, 3)] ^ key);
}

inline uint32_t decColumn(uint32_t s0, uint32_t s3, uint32_t s2, uint32_t s1, uint32_t key)
{
    const auto& t = kDecTables.t;
    return (t[0][byteOf(s0, 0)] ^ t[1][byteOf(s3, 1)]) ^ (t[2][byteOf(s2, 2)] ^ t[3][byteOf(s1, 3)] ^ key);
}

// SubBytes and ShiftRows of column c: row r comes from column c + r.
inline uint32_t subShift(uint32_t s0, uint32_t s1, uint32_t s2, uint32_t s3)
{
    return static_cast<uint32_t>(kSbox[byteOf(s0, 0)]) | static_cast<uint32_t>(kSbox[byteOf(s1, 1)]) << 8 |
           static_cast<uint32_t>(kSbox[byteOf(s2, 2)]) << 16 | static_cast<uint32_t>(kSbox[byteOf(s3, 3)]) << 24;
}

// InvSubBytes and InvShiftRows of column c: row r comes from column c - r.
inline uint32_t invSubShift(uint32_t s0, uint32_t s3, uint32_t s2, uint32_t s1)
{
    return static_cast<uint32_t>(kInvSbox[byteOf(s0, 0)]) | static_cast<uint32_t>(kInvSbox[byteOf(s3, 1)]) << 8 |
           static_cast<uint32_t>(kInvSbox[byteOf(s2, 2)]) << 16 | static_cast<uint32_t>(kInvSbox[byteOf(s1, 3)]) << 24;
}

inline void encryptBlock(const RoundKeys& keys, uint8_t* block)
{
    const uint32_t(*rk)[4] = keys.w;
    uint32_t s0 = load32(block) ^ rk[0][0], s1 = load32(block + 4) ^ rk[0][1];
    uint32_t s2 = load32(block + 8) ^ rk[0][2], s3 = load32(block + 12) ^ rk[0][3];
    for (int round = 1; round < 14; ++round) {
        const uint32_t t0 = encColumn(s0, s1, s2, s3, rk[round][0]);
        const uint32_t t1 = encColumn(s1, s2, s3, s0, rk[round][1]);
        const uint32_t t2 = encColumn(s2, s3, s0, s1, rk[round][2]);
        const uint32_t t3 = encColumn(s3, s0, s1, s2, rk[round][3]);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    store32(block, subShift(s0, s1, s2, s3) ^ rk[14][0]);
    store32(block + 4, subShift(s1, s2, s3, s0) ^ rk[14][1]);
    store32(block + 8, subShift(s2, s3, s0, s1) ^ rk[14][2]);
    store32(block + 12, subShift(s3, s0, s1, s2) ^ rk[14][3]);
}

inline void decryptBlock(const RoundKeys& keys, uint8_t* block)
{
    const uint32_t(*dk)[4] = keys.w;
    uint32_t s0 = load32(block) ^ dk[0][0], s1 = load32(block + 4) ^ dk[0][1];
    uint32_t s2 = load32(block + 8) ^ dk[0][2], s3 = load32(block + 12) ^ dk[0][3];
    for (int round = 1; round < 14; ++round) {
        const uint32_t t0 = decColumn(s0, s3, s2, s1, dk[round][0]);
        const uint32_t t1 = decColumn(s1, s0, s3, s2, dk[round][1]);
        const uint32_t t2 = decColumn(s2, s1, s0, s3, dk[round][2]);
        const uint32_t t3 = decColumn(s3, s2, s1, s0, dk[round][3]);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    store32(block, invSubShift(s0, s3, s2, s1) ^ dk[14][0]);
    store32(block + 4, invSubShift(s1, s0, s3, s2) ^ dk[14][1]);
    store32(block + 8, invSubShift(s2, s1, s0, s3) ^ dk[14][2]);
    store32(block + 12, invSubShift(s3, s2, s1, s0) ^ dk[14][3]);
}

// Two blocks with their rounds interleaved: the table lookups of one block
// wait on each other, those of the two blocks do not.
inline void decryptTwoBlocks(const RoundKeys& keys, uint8_t* blocks)
{
    const uint32_t(*dk)[4] = keys.w;
    uint32_t a0 = load32(blocks) ^ dk[0][0], a1 = load32(blocks + 4) ^ dk[0][1];
    uint32_t a2 = load32(blocks + 8) ^ dk[0][2], a3 = load32(blocks + 12) ^ dk[0][3];
    uint32_t b0 = load32(blocks + 16) ^ dk[0][0], b1 = load32(blocks + 20) ^ dk[0][1];
    uint32_t b2 = load32(blocks + 24) ^ dk[0][2], b3 = load32(blocks + 28) ^ dk[0][3];
    for (int round = 1; round < 14; ++round) {
        const uint32_t* const k = dk[round];
        const uint32_t ta0 = decColumn(a0, a3, a2, a1, k[0]), tb0 = decColumn(b0, b3, b2, b1, k[0]);
        const uint32_t ta1 = decColumn(a1, a0, a3, a2, k[1]), tb1 = decColumn(b1, b0, b3, b2, k[1]);
        const uint32_t ta2 = decColumn(a2, a1, a0, a3, k[2]), tb2 = decColumn(b2, b1, b0, b3, k[2]);
        const uint32_t ta3 = decColumn(a3, a2, a1, a0, k[3]), tb3 = decColumn(b3, b2, b1, b0, k[3]);
        a0 = ta0, a1 = ta1, a2 = ta2, a3 = ta3;
        b0 = tb0, b1 = tb1, b2 = tb2, b3 = tb3;
    }
    store32(blocks, invSubShift(a0, a3, a2, a1) ^ dk[14][0]);
    store32(blocks + 4, invSubShift(a1, a0, a3, a2) ^ dk[14][1]);
    store32(blocks + 8, invSubShift(a2, a1, a0, a3) ^ dk[14][2]);
    store32(blocks + 12, invSubShift(a3, a2, a1, a0) ^ dk[14][3]);
    store32(blocks + 16, invSubShift(b0, b3, b2, b1) ^ dk[14][0]);
    store32(blocks + 20, invSubShift(b1, b0, b3, b2) ^ dk[14][1]);
    store32(blocks + 24, invSubShift(b2, b1, b0, b3) ^ dk[14][2]);
    store32(blocks + 28, invSubShift(b3, b2, b1, b0) ^ dk[14][3]);
}

inline void xor16(uint8_t* dst, const uint8_t* src)
{
    for (int i = 0; i < 16; ++i)
        dst[i] ^= src[i];
}

// After a call that processed blocks, work_key holds the window where the
// schedule of the last block ended: round keys (14, 15) after encryption,
// (0, 1) after decryption.
inline void noteLastWindow(aes256_ctx_t* ctx, bool encrypted)
{
    std::memcpy(ctx->work_key, encrypted ? ctx->dec_key : ctx->enc_key, 32);
}

// `chained`: CBC with the context's chaining value; otherwise independent
// blocks (the single-block functions) and the chaining value is left alone.
void encryptPortable(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
    if (size == 0)
        return;
    RoundKeys keys;
    expandEncryptKeys(ctx->enc_key, keys);
    const uint8_t* chain = ctx->iv;
    for (size_t offset = 0; offset < size; offset += 16) {
        uint8_t* block = buf + offset;
        if (chained)
            xor16(block, chain);
        encryptBlock(keys, block);
        chain = block;
    }
    noteLastWindow(ctx, true);
    if (chained)
        std::memcpy(ctx->iv, chain, 16);
}

void decryptPortable(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
    if (size == 0)
        return;
    RoundKeys keys;
    expandDecryptKeys(ctx->enc_key, keys);
    uint8_t chain[16];
    uint8_t kept[32]; // the ciphertext of the blocks in progress
    std::memcpy(chain, ctx->iv, 16);
    for (size_t offset = 0; offset < size;) {
        uint8_t* block = buf + offset;
        const size_t n = size - offset >= 32 ? 32 : 16;
        std::memcpy(kept, block, n);
        if (n == 32)
            decryptTwoBlocks(keys, block);
        else
            decryptBlock(keys, block);
        if (chained) {
            xor16(block, chain);
            if (n == 32)
                xor16(block + 16, kept);
        }
        std::memcpy(chain, kept + n - 16, 16);
        offset += n;
    }
    noteLastWindow(ctx, false);
    if (chained)
        std::memcpy(ctx->iv, chain, 16);
}

#if ZENTROVA_AES_HW

// The same cipher on the processor's AES instructions: aeskeygenassist
// supplies the S-box words of the key schedule; decryption runs the
// equivalent inverse cipher, so its middle round keys pass through aesimc.
#define AES_HW __attribute__((target("aes,sse2")))

// Prefix XOR of the four words: w1 ^= w0, w2 ^= w1, w3 ^= w2.
AES_HW inline __m128i prefixXor(__m128i x)
{
    x = _mm_xor_si128(x, _mm_slli_si128(x, 4));
    x = _mm_xor_si128(x, _mm_slli_si128(x, 8));
    return x;
}

template <int rc>
AES_HW inline void hwScheduleForward(__m128i& a, __m128i& b)
{
    a = _mm_xor_si128(prefixXor(a), _mm_shuffle_epi32(_mm_aeskeygenassist_si128(b, rc), 0xFF));
    b = _mm_xor_si128(prefixXor(b), _mm_shuffle_epi32(_mm_aeskeygenassist_si128(a, 0), 0xAA));
}

AES_HW inline __m128i load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

AES_HW inline void store128(uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Fifteen round keys in registers' format, wiped when they go out of scope.
struct HwRoundKeys {
    __m128i k[15];
    HwRoundKeys() = default;
    HwRoundKeys(const HwRoundKeys&) = delete;
    HwRoundKeys& operator=(const HwRoundKeys&) = delete;
    ~HwRoundKeys() { explicit_bzero(k, sizeof k); }
};

AES_HW void hwExpandEncryptKeys(const uint8_t* key, HwRoundKeys& keys)
{
    __m128i a = load128(key), b = load128(key + 16);
    __m128i* k = keys.k;
    k[0] = a, k[1] = b;
    hwScheduleForward<0x01>(a, b), k[2] = a, k[3] = b;
    hwScheduleForward<0x02>(a, b), k[4] = a, k[5] = b;
    hwScheduleForward<0x04>(a, b), k[6] = a, k[7] = b;
    hwScheduleForward<0x08>(a, b), k[8] = a, k[9] = b;
    hwScheduleForward<0x10>(a, b), k[10] = a, k[11] = b;
    hwScheduleForward<0x20>(a, b), k[12] = a, k[13] = b;
    hwScheduleForward<0x40>(a, b), k[14] = a;
}

AES_HW void hwExpandDecryptKeys(const uint8_t* key, HwRoundKeys& keys)
{
    HwRoundKeys forward;
    hwExpandEncryptKeys(key, forward);
    keys.k[0] = forward.k[14];
    for (int round = 1; round < 14; ++round)
        keys.k[round] = _mm_aesimc_si128(forward.k[14 - round]);
    keys.k[14] = forward.k[0];
}

AES_HW void encryptHw(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
    if (size == 0)
        return;
    HwRoundKeys keys;
    hwExpandEncryptKeys(ctx->enc_key, keys);
    const __m128i* k = keys.k;
    __m128i chain = chained ? load128(ctx->iv) : _mm_setzero_si128();
    for (size_t offset = 0; offset < size; offset += 16) {
        __m128i s = _mm_xor_si128(_mm_xor_si128(load128(buf + offset), chain), k[0]);
        for (int round = 1; round < 14; ++round)
            s = _mm_aesenc_si128(s, k[round]);
        chain = _mm_aesenclast_si128(s, k[14]);
        store128(buf + offset, chain);
    }
    noteLastWindow(ctx, true);
    if (chained)
        store128(ctx->iv, chain);
}

// Sixteen blocks at once, two in each 256-bit register (processors with
// VAES): returns the bytes done, a multiple of 256; `chain` is updated.
#define AES_VAES __attribute__((target("vaes,avx2,aes")))

AES_VAES inline __m256i load256(const uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

AES_VAES size_t decryptVaes(const HwRoundKeys& keys, uint8_t* buf, size_t size, bool chained, __m128i& chain)
{
    constexpr int kLanes = 8;
    __m256i k[15];
    for (int round = 0; round < 15; ++round)
        k[round] = _mm256_broadcastsi128_si256(keys.k[round]);
    size_t offset = 0;
    for (; size - offset >= 32 * kLanes; offset += 32 * kLanes) {
        uint8_t* const p = buf + offset;
        __m256i s[kLanes];
#pragma GCC unroll 8
        for (int j = 0; j < kLanes; ++j)
            s[j] = _mm256_xor_si256(load256(p + 32 * j), k[0]);
        for (int round = 1; round < 14; ++round) {
            const __m256i rk = k[round];
#pragma GCC unroll 8
            for (int j = 0; j < kLanes; ++j)
                s[j] = _mm256_aesdec_epi128(s[j], rk);
        }
        // Blocks 2j and 2j + 1 take the 32 bytes 16 before them; the last
        // pair first, so that those bytes are still ciphertext.
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * kLanes - 16));
#pragma GCC unroll 8
        for (int j = kLanes - 1; j > 0; --j) {
            const __m256i previous = chained ? load256(p + 32 * j - 16) : _mm256_setzero_si256();
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 32 * j),
                                _mm256_xor_si256(_mm256_aesdeclast_epi128(s[j], k[14]), previous));
        }
        const __m256i first = chained ? _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), chain)
                                      : _mm256_setzero_si256();
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_xor_si256(_mm256_aesdeclast_epi128(s[0], k[14]), first));
        if (chained)
            chain = next;
    }
    explicit_bzero(k, sizeof k);
    _mm256_zeroupper();
    return offset;
}

#undef AES_VAES

bool cpuHasVaes()
{
    // Asked of the processor itself (clang before 16 has no "vaes" for
    // __builtin_cpu_supports): AVX2 and VAES, and the system saving the
    // 256-bit registers.
    static const bool available = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX))
            return false;
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        if ((low & 6) != 6) // SSE and AVX state
            return false;
        constexpr unsigned kVaes = 1u << 9; // CPUID 7.0 ECX
        return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2) && (c & kVaes);
    }();
    return available;
}

// Blocks decrypt independently of each other: eight at a time keep the AES
// unit busy; each is then XORed with the ciphertext before it.
AES_HW void decryptHw(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
    if (size == 0)
        return;
    HwRoundKeys keys;
    hwExpandDecryptKeys(ctx->enc_key, keys);
    const __m128i* k = keys.k;
    const __m128i zero = _mm_setzero_si128();
    __m128i chain = chained ? load128(ctx->iv) : zero;
    size_t offset = cpuHasVaes() ? decryptVaes(keys, buf, size, chained, chain) : 0;
    constexpr int kLanes = 8;
    for (; size - offset >= 16 * kLanes; offset += 16 * kLanes) {
        uint8_t* const p = buf + offset;
        __m128i s[kLanes];
#pragma GCC unroll 8
        for (int j = 0; j < kLanes; ++j)
            s[j] = _mm_xor_si128(load128(p + 16 * j), k[0]);
        for (int round = 1; round < 14; ++round) {
            const __m128i rk = k[round];
#pragma GCC unroll 8
            for (int j = 0; j < kLanes; ++j)
                s[j] = _mm_aesdec_si128(s[j], rk);
        }
        // Last block first: each XOR reads the ciphertext before it while it
        // is still in the buffer.
        const __m128i next = chained ? load128(p + 16 * (kLanes - 1)) : zero;
#pragma GCC unroll 8
        for (int j = kLanes - 1; j > 0; --j)
            store128(p + 16 * j, _mm_xor_si128(_mm_aesdeclast_si128(s[j], k[14]), chained ? load128(p + 16 * (j - 1)) : zero));
        store128(p, _mm_xor_si128(_mm_aesdeclast_si128(s[0], k[14]), chain));
        chain = next;
    }
    for (; offset < size; offset += 16) {
        const __m128i cipher = load128(buf + offset);
        __m128i s = _mm_xor_si128(cipher, k[0]);
        for (int round = 1; round < 14; ++round)
            s = _mm_aesdec_si128(s, k[round]);
        store128(buf + offset, _mm_xor_si128(_mm_aesdeclast_si128(s, k[14]), chain));
        chain = chained ? cipher : zero;
    }
    noteLastWindow(ctx, false);
    if (chained)
        store128(ctx->iv, chain);
}

#undef AES_HW

std::atomic<bool> g_portableOnly{false};

bool cpuHasAes()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("aes") != 0;
    }();
    return available;
}

bool useHw()
{
    return cpuHasAes() && !g_portableOnly.load(std::memory_order_relaxed);
}

#else

bool useHw()
{
    return false;
}

#endif

void encrypt(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
#if ZENTROVA_AES_HW
    if (useHw())
        return encryptHw(ctx, buf, size, chained);
#endif
    encryptPortable(ctx, buf, size, chained);
}

void decrypt(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
#if ZENTROVA_AES_HW
    if (useHw())
        return decryptHw(ctx, buf, size, chained);
#endif
    decryptPortable(ctx, buf, size, chained);
}

} // namespace

bool aes256_hardware_available()
{
#if ZENTROVA_AES_HW
    return cpuHasAes();
#else
    return false;
#endif
}

void aes256_portable_only(bool portableOnly)
{
#if ZENTROVA_AES_HW
    g_portableOnly.store(portableOnly);
#else
    (void)portableOnly;
#endif
}

extern "C" {

ZENTROVA_API void aes256_set_key(aes256_ctx_t* ctx, const uint8_t* key)
{
    std::memcpy(ctx->enc_key, key, 32);
    Window k;
    loadWindow(k, key);
    uint8_t rc = 1;
    for (int step = 0; step < 7; ++step) {
        scheduleForward(k, rc);
        rc = xtime(rc);
    }
    storeWindow(ctx->dec_key, k);
    explicit_bzero(k, sizeof k);
}

ZENTROVA_API void aes256_get_key(const aes256_ctx_t* ctx, uint8_t* key)
{
    std::memcpy(key, ctx->enc_key, 32);
}

ZENTROVA_API void aes256_set_iv(aes256_ctx_t* ctx, const uint8_t* iv)
{
    if (iv)
        std::memcpy(ctx->iv, iv, 16);
    else
        std::memset(ctx->iv, 0, 16);
}

ZENTROVA_API void aes256_get_iv(const aes256_ctx_t* ctx, uint8_t* iv)
{
    std::memcpy(iv, ctx->iv, 16);
}

ZENTROVA_API void aes256_encrypt(aes256_ctx_t* ctx, uint8_t* block)
{
    encrypt(ctx, block, 16, false);
}

ZENTROVA_API void aes256_decrypt(aes256_ctx_t* ctx, uint8_t* block)
{
    decrypt(ctx, block, 16, false);
}

ZENTROVA_API void aes256_encrypt_cbc(aes256_ctx_t* ctx, uint8_t* buf, size_t size)
{
    assert((size & 0xF) == 0);
    if ((size & 0xF) != 0)
        return; // NDEBUG builds: refuse whole rather than run past the buffer
    encrypt(ctx, buf, size, true);
}

ZENTROVA_API void aes256_decrypt_cbc(aes256_ctx_t* ctx, uint8_t* buf, size_t size)
{
    assert((size & 0xF) == 0);
    if ((size & 0xF) != 0)
        return; // NDEBUG builds: refuse whole rather than run past the buffer
    decrypt(ctx, buf, size, true);
}

} // extern "C"
