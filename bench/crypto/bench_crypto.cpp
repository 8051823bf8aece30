// Throughput of the library's AES-256-CBC and DFU decoder, and of OpenSSL's
// EVP_aes_256_cbc on the same buffers in the same run.
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "integrity/aes256_select.h"
#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/dfu.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

std::array<uint8_t, 32> benchKey()
{
    std::array<uint8_t, 32> key;
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<uint8_t>(i * 11 + 3);
    return key;
}

std::vector<uint8_t> buffer(size_t size)
{
    std::vector<uint8_t> b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 1);
    return b;
}

// Zentrova_* use the CPU's AES instructions where it has them;
// ZentrovaPortable_* the table code.
struct PortableOnly {
    explicit PortableOnly(bool on) { aes256_portable_only(on); }
    ~PortableOnly() { aes256_portable_only(false); }
};

template <bool portable>
void BM_Zentrova_CbcEncrypt(benchmark::State& state)
{
    PortableOnly mode(portable);
    const auto key = benchKey();
    auto buf = buffer(static_cast<size_t>(state.range(0)));
    aes256_ctx_t ctx;
    aes256_set_key(&ctx, key.data());
    aes256_set_iv(&ctx, nullptr);
    for (auto _ : state) {
        aes256_encrypt_cbc(&ctx, buf.data(), buf.size());
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

template <bool portable>
void BM_Zentrova_CbcDecrypt(benchmark::State& state)
{
    PortableOnly mode(portable);
    const auto key = benchKey();
    auto buf = buffer(static_cast<size_t>(state.range(0)));
    aes256_ctx_t ctx;
    aes256_set_key(&ctx, key.data());
    aes256_set_iv(&ctx, nullptr);
    for (auto _ : state) {
        aes256_decrypt_cbc(&ctx, buf.data(), buf.size());
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

struct EvpCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

void opensslCbc(benchmark::State& state, int encrypt)
{
    const auto key = benchKey();
    const uint8_t iv[16] = {};
    auto in = buffer(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> out(in.size() + 16);
    std::unique_ptr<EVP_CIPHER_CTX, EvpCtxFree> c(EVP_CIPHER_CTX_new());
    EVP_CipherInit_ex(c.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv, encrypt);
    EVP_CIPHER_CTX_set_padding(c.get(), 0);
    for (auto _ : state) {
        int len = 0;
        EVP_CipherUpdate(c.get(), out.data(), &len, in.data(), static_cast<int>(in.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSsl_CbcEncrypt(benchmark::State& state)
{
    opensslCbc(state, 1);
}

void BM_OpenSsl_CbcDecrypt(benchmark::State& state)
{
    opensslCbc(state, 0);
}

bool consume(uint32_t, uint8_t* data, size_t)
{
    benchmark::DoNotOptimize(data);
    return true;
}

// A full decode of an image with the given number of payload bytes in
// 64 KiB segments: header CRC, check block, every segment decrypted in 4 KiB
// chunks and its CRC checked. Bytes processed = image size.
template <bool portable>
void BM_Zentrova_DfuDecode(benchmark::State& state)
{
    PortableOnly mode(portable);
    const auto key = benchKey();
    const size_t size = static_cast<size_t>(state.range(0));
    std::vector<dfu_segment_t> segments;
    for (size_t at = 0; at < size; at += 65536)
        segments.push_back({static_cast<uint32_t>(0x08000000 + at), buffer(std::min<size_t>(65536, size - at))});
    const std::vector<uint8_t> image = dfu_encode_image(key, "ZENTROVA", 0x0100, 0x0100, segments);
    std::vector<uint8_t> work(4096);
    dfu_image_ctx_t ctx{image.data(), key.data(), "ZENTROVA", static_cast<uint32_t>(image.size()),
                        0x08000000, 0x10000000, work.data(), work.size()};
    for (auto _ : state) {
        if (!dfu_decode_image(&ctx, consume))
            state.SkipWithError("image refused");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
}

// OpenSSL's share of the same decode: CBC decryption of the whole payload,
// chunk by chunk, with a fresh key setup per image as the decoder does.
void BM_OpenSsl_DfuDecodeEquivalent(benchmark::State& state)
{
    const auto key = benchKey();
    const uint8_t iv[16] = {};
    const auto payload = buffer(static_cast<size_t>(state.range(0)) + 32);
    std::vector<uint8_t> work(4096);
    std::unique_ptr<EVP_CIPHER_CTX, EvpCtxFree> c(EVP_CIPHER_CTX_new());
    for (auto _ : state) {
        EVP_DecryptInit_ex(c.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv);
        EVP_CIPHER_CTX_set_padding(c.get(), 0);
        for (size_t at = 0; at < payload.size(); at += work.size()) {
            int len = 0;
            const size_t n = std::min(work.size(), payload.size() - at);
            EVP_DecryptUpdate(c.get(), work.data(), &len, payload.data() + at, static_cast<int>(n));
            benchmark::DoNotOptimize(work.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(payload.size() + 20));
}

BENCHMARK_TEMPLATE(BM_Zentrova_CbcEncrypt, false)->Name("BM_Zentrova_CbcEncrypt")->Arg(4096)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Zentrova_CbcEncrypt, true)->Name("BM_ZentrovaPortable_CbcEncrypt")->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_OpenSsl_CbcEncrypt)->Arg(4096)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Zentrova_CbcDecrypt, false)->Name("BM_Zentrova_CbcDecrypt")->Arg(4096)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Zentrova_CbcDecrypt, true)->Name("BM_ZentrovaPortable_CbcDecrypt")->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_OpenSsl_CbcDecrypt)->Arg(4096)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Zentrova_DfuDecode, false)->Name("BM_Zentrova_DfuDecode")->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_Zentrova_DfuDecode, true)->Name("BM_ZentrovaPortable_DfuDecode")->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_OpenSsl_DfuDecodeEquivalent)->Arg(64 << 10)->Arg(1 << 20);

} // namespace

BENCHMARK_MAIN();
