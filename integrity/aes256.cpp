// AES-256 with round keys derived on the fly.
//
// The state and the 32-byte key-schedule window are handled as little-endian
// 32-bit words: word c of the state is column c, byte r of a word is row r.
// The window always holds two consecutive round keys (2k, 2k+1); one schedule
// step advances it to (2k+2, 2k+3), and the inverse step moves it back, so
// encryption starts from enc_key (round keys 0, 1) and decryption from dec_key
// (round keys 14, 15 -- the window after seven steps; key 15 is never used).
// The only tables are the S-box and its inverse, built at compile time.
//
// On x86-64 processors with AES instructions the same structure runs on those
// instructions (chosen at run time; see aes256_select.h): it is an order of
// magnitude faster and, unlike table lookups, takes the same time whatever
// the key and data.
#include "zentrova/integrity/aes256.h"

#include <array>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "integrity/aes256_select.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZENTROVA_AES_HW 1
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

inline uint8_t byteOf(uint32_t w, int index)
{
    return static_cast<uint8_t>(w >> (8 * index));
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

// Undoes scheduleForward with the same round constant.
inline void scheduleBackward(Window k, uint8_t rc)
{
    k[7] ^= k[6];
    k[6] ^= k[5];
    k[5] ^= k[4];
    k[4] ^= subWord(k[3]);
    k[3] ^= k[2];
    k[2] ^= k[1];
    k[1] ^= k[0];
    k[0] ^= subWord(rotr32(k[7], 8)) ^ rc;
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

void encryptBlockPortable(aes256_ctx_t* ctx, uint8_t* block)
{
    Window k;
    loadWindow(k, ctx->enc_key);
    uint32_t s0 = load32(block) ^ k[0];
    uint32_t s1 = load32(block + 4) ^ k[1];
    uint32_t s2 = load32(block + 8) ^ k[2];
    uint32_t s3 = load32(block + 12) ^ k[3];
    uint8_t rc = 1;
    for (int round = 1; round <= 14; ++round) {
        uint32_t t0 = subShift(s0, s1, s2, s3);
        uint32_t t1 = subShift(s1, s2, s3, s0);
        uint32_t t2 = subShift(s2, s3, s0, s1);
        uint32_t t3 = subShift(s3, s0, s1, s2);
        if (round != 14) {
            t0 = mixColumn(t0);
            t1 = mixColumn(t1);
            t2 = mixColumn(t2);
            t3 = mixColumn(t3);
        }
        const uint32_t* rk = k + 4; // odd rounds: second key of the window
        if ((round & 1) == 0) {
            scheduleForward(k, rc);
            rc = xtime(rc);
            rk = k;
        }
        s0 = t0 ^ rk[0];
        s1 = t1 ^ rk[1];
        s2 = t2 ^ rk[2];
        s3 = t3 ^ rk[3];
    }
    storeWindow(ctx->work_key, k);
    store32(block, s0);
    store32(block + 4, s1);
    store32(block + 8, s2);
    store32(block + 12, s3);
}

void decryptBlockPortable(aes256_ctx_t* ctx, uint8_t* block)
{
    Window k;
    loadWindow(k, ctx->dec_key);
    uint32_t s0 = load32(block) ^ k[0];
    uint32_t s1 = load32(block + 4) ^ k[1];
    uint32_t s2 = load32(block + 8) ^ k[2];
    uint32_t s3 = load32(block + 12) ^ k[3];
    uint8_t rc = 0x80;
    for (int round = 13; round >= 0; --round) {
        const uint32_t t0 = invSubShift(s0, s3, s2, s1);
        const uint32_t t1 = invSubShift(s1, s0, s3, s2);
        const uint32_t t2 = invSubShift(s2, s1, s0, s3);
        const uint32_t t3 = invSubShift(s3, s2, s1, s0);
        const uint32_t* rk = k; // even rounds: first key of the window
        if (round & 1) {
            rc = static_cast<uint8_t>(rc >> 1);
            scheduleBackward(k, rc);
            rk = k + 4;
        }
        s0 = t0 ^ rk[0];
        s1 = t1 ^ rk[1];
        s2 = t2 ^ rk[2];
        s3 = t3 ^ rk[3];
        if (round != 0) {
            s0 = invMixColumn(s0);
            s1 = invMixColumn(s1);
            s2 = invMixColumn(s2);
            s3 = invMixColumn(s3);
        }
    }
    storeWindow(ctx->work_key, k);
    store32(block, s0);
    store32(block + 4, s1);
    store32(block + 8, s2);
    store32(block + 12, s3);
}

inline void xor16(uint8_t* dst, const uint8_t* src)
{
    for (int i = 0; i < 16; ++i)
        dst[i] ^= src[i];
}

void encryptCbcPortable(aes256_ctx_t* ctx, uint8_t* buf, size_t size)
{
    const uint8_t* chain = ctx->iv;
    for (size_t offset = 0; offset < size; offset += 16) {
        uint8_t* block = buf + offset;
        xor16(block, chain);
        encryptBlockPortable(ctx, block);
        chain = block;
    }
    if (size != 0)
        std::memcpy(ctx->iv, chain, 16);
}

void decryptCbcPortable(aes256_ctx_t* ctx, uint8_t* buf, size_t size)
{
    uint8_t chain[16];
    uint8_t kept[16];
    std::memcpy(chain, ctx->iv, 16);
    for (size_t offset = 0; offset < size; offset += 16) {
        uint8_t* block = buf + offset;
        std::memcpy(kept, block, 16);
        decryptBlockPortable(ctx, block);
        xor16(block, chain);
        std::memcpy(chain, kept, 16);
    }
    std::memcpy(ctx->iv, chain, 16);
}

#if ZENTROVA_AES_HW

// The same cipher on the processor's AES instructions: the same window of two
// round keys, advanced (or moved back) by one schedule step at a time, where
// aeskeygenassist supplies the S-box words. Decryption runs the equivalent
// inverse cipher, so its middle round keys pass through aesimc.
#define AES_HW __attribute__((target("aes,sse2")))

// Prefix XOR of the four words: w1 ^= w0, w2 ^= w1, w3 ^= w2.
AES_HW inline __m128i prefixXor(__m128i x)
{
    x = _mm_xor_si128(x, _mm_slli_si128(x, 4));
    x = _mm_xor_si128(x, _mm_slli_si128(x, 8));
    return x;
}

// Inverse of prefixXor.
AES_HW inline __m128i unprefixXor(__m128i x)
{
    return _mm_xor_si128(x, _mm_slli_si128(x, 4));
}

template <int rc>
AES_HW inline void hwScheduleForward(__m128i& a, __m128i& b)
{
    a = _mm_xor_si128(prefixXor(a), _mm_shuffle_epi32(_mm_aeskeygenassist_si128(b, rc), 0xFF));
    b = _mm_xor_si128(prefixXor(b), _mm_shuffle_epi32(_mm_aeskeygenassist_si128(a, 0), 0xAA));
}

template <int rc>
AES_HW inline void hwScheduleBackward(__m128i& a, __m128i& b)
{
    b = unprefixXor(_mm_xor_si128(b, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(a, 0), 0xAA)));
    a = unprefixXor(_mm_xor_si128(a, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(b, rc), 0xFF)));
}

template <int rc>
AES_HW inline __m128i hwEncryptPair(__m128i s, __m128i& a, __m128i& b)
{
    hwScheduleForward<rc>(a, b);
    s = _mm_aesenc_si128(s, a);
    return _mm_aesenc_si128(s, b);
}

// Rounds 0..14 from the window (a, b) = round keys (0, 1); leaves (14, 15) in it.
AES_HW inline __m128i hwEncrypt(__m128i s, __m128i& a, __m128i& b)
{
    s = _mm_xor_si128(s, a);
    s = _mm_aesenc_si128(s, b);
    s = hwEncryptPair<0x01>(s, a, b);
    s = hwEncryptPair<0x02>(s, a, b);
    s = hwEncryptPair<0x04>(s, a, b);
    s = hwEncryptPair<0x08>(s, a, b);
    s = hwEncryptPair<0x10>(s, a, b);
    s = hwEncryptPair<0x20>(s, a, b);
    hwScheduleForward<0x40>(a, b);
    return _mm_aesenclast_si128(s, a);
}

template <int rc>
AES_HW inline __m128i hwDecryptPair(__m128i s, __m128i& a, __m128i& b)
{
    hwScheduleBackward<rc>(a, b);
    s = _mm_aesdec_si128(s, _mm_aesimc_si128(b));
    return _mm_aesdec_si128(s, _mm_aesimc_si128(a));
}

// Rounds 14..0 from the window (a, b) = round keys (14, 15); leaves (0, 1) in it.
AES_HW inline __m128i hwDecrypt(__m128i s, __m128i& a, __m128i& b)
{
    s = _mm_xor_si128(s, a);
    s = hwDecryptPair<0x40>(s, a, b);
    s = hwDecryptPair<0x20>(s, a, b);
    s = hwDecryptPair<0x10>(s, a, b);
    s = hwDecryptPair<0x08>(s, a, b);
    s = hwDecryptPair<0x04>(s, a, b);
    s = hwDecryptPair<0x02>(s, a, b);
    hwScheduleBackward<0x01>(a, b);
    s = _mm_aesdec_si128(s, _mm_aesimc_si128(b));
    return _mm_aesdeclast_si128(s, a);
}

AES_HW inline __m128i load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

AES_HW inline void store128(uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Every block starts again from the key in the context and derives its round
// keys on the way; work_key ends with the window of the last block.
AES_HW void encryptCbcHw(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
    const __m128i key0 = load128(ctx->enc_key);
    const __m128i key1 = load128(ctx->enc_key + 16);
    __m128i chain = chained ? load128(ctx->iv) : _mm_setzero_si128();
    __m128i a = key0;
    __m128i b = key1;
    for (size_t offset = 0; offset < size; offset += 16) {
        a = key0;
        b = key1;
        chain = hwEncrypt(_mm_xor_si128(load128(buf + offset), chain), a, b);
        store128(buf + offset, chain);
    }
    if (size != 0) {
        store128(ctx->work_key, a);
        store128(ctx->work_key + 16, b);
        if (chained)
            store128(ctx->iv, chain);
    }
}

AES_HW void decryptCbcHw(aes256_ctx_t* ctx, uint8_t* buf, size_t size, bool chained)
{
    const __m128i key0 = load128(ctx->dec_key);
    const __m128i key1 = load128(ctx->dec_key + 16);
    __m128i chain = chained ? load128(ctx->iv) : _mm_setzero_si128();
    __m128i a = key0;
    __m128i b = key1;
    for (size_t offset = 0; offset < size; offset += 16) {
        a = key0;
        b = key1;
        const __m128i cipher = load128(buf + offset);
        store128(buf + offset, _mm_xor_si128(hwDecrypt(cipher, a, b), chain));
        chain = cipher;
    }
    if (size != 0) {
        store128(ctx->work_key, a);
        store128(ctx->work_key + 16, b);
        if (chained)
            store128(ctx->iv, chain);
    }
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
#if ZENTROVA_AES_HW
    if (useHw())
        return encryptCbcHw(ctx, block, 16, false);
#endif
    encryptBlockPortable(ctx, block);
}

ZENTROVA_API void aes256_decrypt(aes256_ctx_t* ctx, uint8_t* block)
{
#if ZENTROVA_AES_HW
    if (useHw())
        return decryptCbcHw(ctx, block, 16, false);
#endif
    decryptBlockPortable(ctx, block);
}

ZENTROVA_API void aes256_encrypt_cbc(aes256_ctx_t* ctx, uint8_t* buf, size_t size)
{
    assert((size & 0xF) == 0);
    if ((size & 0xF) != 0)
        return; // NDEBUG builds: refuse whole rather than run past the buffer
#if ZENTROVA_AES_HW
    if (useHw())
        return encryptCbcHw(ctx, buf, size, true);
#endif
    encryptCbcPortable(ctx, buf, size);
}

ZENTROVA_API void aes256_decrypt_cbc(aes256_ctx_t* ctx, uint8_t* buf, size_t size)
{
    assert((size & 0xF) == 0);
    if ((size & 0xF) != 0)
        return; // NDEBUG builds: refuse whole rather than run past the buffer
#if ZENTROVA_AES_HW
    if (useHw())
        return decryptCbcHw(ctx, buf, size, true);
#endif
    decryptCbcPortable(ctx, buf, size);
}

} // extern "C"
