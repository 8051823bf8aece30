#include "zentrova/integrity/aes256.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "integrity/aes256_select.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const std::string& text)
{
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes ivOf(const aes256_ctx_t& ctx)
{
    Bytes iv(16);
    aes256_get_iv(&ctx, iv.data());
    return iv;
}

// Every test runs on the portable code and on the CPU's AES instructions.
class Aes256 : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!GetParam() && !aes256_hardware_available())
            GTEST_SKIP() << "no AES instructions on this CPU";
        aes256_portable_only(GetParam());
    }
    void TearDown() override { aes256_portable_only(false); }
};

INSTANTIATE_TEST_SUITE_P(Impl, Aes256, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "portable" : "hardware"; });

TEST_P(Aes256, Fips197AppendixC3Block)
{
    const Bytes key = hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const Bytes plain = hex("00112233445566778899aabbccddeeff");
    aes256_ctx_t ctx;
    std::memset(&ctx, 0xA5, sizeof ctx);
    aes256_set_key(&ctx, key.data());
    aes256_set_iv(&ctx, nullptr); // a null IV is all zeros
    EXPECT_EQ(ivOf(ctx), Bytes(16, 0));
    Bytes got(32);
    aes256_get_key(&ctx, got.data());
    EXPECT_EQ(got, key);

    // Single blocks neither use nor change the IV.
    const Bytes iv(16, 0x3C);
    aes256_set_iv(&ctx, iv.data());
    Bytes block = plain;
    aes256_encrypt(&ctx, block.data());
    EXPECT_EQ(block, hex("8ea2b7ca516745bfeafc49904b496089"));
    aes256_decrypt(&ctx, block.data());
    EXPECT_EQ(block, plain);
    EXPECT_EQ(ivOf(ctx), iv);
}

// Size 0 changes nothing. Any other size that is not a multiple of 16 is a
// caller's bug: the assertion stops a build without NDEBUG; with NDEBUG nothing
// is touched, not even the bytes that would form the incomplete last block.
TEST_P(Aes256, CbcWithoutWholeBlocks)
{
    const Bytes key(32, 0x5A), iv = hex("000102030405060708090a0b0c0d0e0f"), plain(64, 0xC3);
    aes256_ctx_t ctx;
    aes256_set_key(&ctx, key.data());
    aes256_set_iv(&ctx, iv.data());
    Bytes buf = plain;
    std::vector<size_t> sizes = {0};
#ifdef NDEBUG
    sizes.insert(sizes.end(), {1, 15, 17, 63});
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(aes256_encrypt_cbc(&ctx, buf.data(), 17), "aes256_encrypt_cbc.*\\(size & 0xF\\) == 0");
    EXPECT_DEATH(aes256_decrypt_cbc(&ctx, buf.data(), 15), "aes256_decrypt_cbc.*\\(size & 0xF\\) == 0");
#endif
    for (size_t size : sizes) {
        aes256_encrypt_cbc(&ctx, buf.data(), size);
        aes256_decrypt_cbc(&ctx, buf.data(), size);
    }
    EXPECT_EQ(buf, plain);
    EXPECT_EQ(ivOf(ctx), iv);
}

Bytes opensslCbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in)
{
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> c(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    Bytes out(in.size() + 16);
    int len = 0;
    EXPECT_EQ(1, EVP_CipherInit_ex(c.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0));
    EVP_CIPHER_CTX_set_padding(c.get(), 0);
    EXPECT_EQ(1, EVP_CipherUpdate(c.get(), out.data(), &len, in.data(), static_cast<int>(in.size())));
    out.resize(static_cast<size_t>(len));
    return out;
}

// Random keys, IVs and buffers through both CBC directions, each buffer in
// one call or in random pieces of whole blocks (the IV carries the chain).
TEST_P(Aes256, MatchesOpenSslOnRandomInputInAnySplit)
{
    std::mt19937 rng(20261206);
    auto randomBytes = [&rng](size_t n) {
        Bytes b(n);
        for (auto& x : b)
            x = static_cast<uint8_t>(rng());
        return b;
    };
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const Bytes key = randomBytes(32), iv = randomBytes(16), in = randomBytes(16 * (rng() % 70));
        aes256_ctx_t ctx;
        aes256_set_key(&ctx, key.data());
        for (bool encrypt : {true, false}) {
            aes256_set_iv(&ctx, iv.data());
            Bytes buf = in;
            for (size_t at = 0, piece; at < buf.size(); at += piece) {
                piece = trial % 2 ? buf.size() - at : std::min<size_t>(buf.size() - at, 16 * (1 + rng() % 4));
                (encrypt ? aes256_encrypt_cbc : aes256_decrypt_cbc)(&ctx, buf.data() + at, piece);
            }
            const Bytes expected = opensslCbc(encrypt, key, iv, in);
            ASSERT_EQ(buf, expected) << (encrypt ? "encrypt" : "decrypt");
            const Bytes& cipher = encrypt ? expected : in; // the IV left is the last ciphertext block
            EXPECT_EQ(ivOf(ctx), in.empty() ? iv : Bytes(cipher.end() - 16, cipher.end()));
        }
    }
}

} // namespace
