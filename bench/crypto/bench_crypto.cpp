// Throughput of the library's CRCs, AES-256-CBC and DFU decoder, each printed
// beside a baseline measured in the same process on the same bytes:
//
//   figure / baseline / ratio
//
// where ratio = the figure's time / the baseline's time (at most 1.0: at
// least as fast). Every number is the best of five samples of the thread's
// CPU time; the two sides of a line are sampled in turn. Baselines: zlib's crc32, the library's former
// one-lookup-per-byte CRCs, OpenSSL's EVP_aes_256_cbc, and for the decoder
// OpenSSL's decryption plus two zlib CRC-32 passes doing the decoder's work.
//
// The portable AES code is compared with OpenSSL's code without AES
// instructions: the program runs itself once more with OPENSSL_ia32cap set to
// hide them from OpenSSL (started with OPENSSL_ia32cap already set, it
// measures only that part).
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "integrity/aes256_select.h"
#include "integrity/crc_select.h"
#include "zentrova/integrity/aes256.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

constexpr const char* kNoAesNi = "~0x200000000000000"; // clears the AES-NI bit of OpenSSL's CPU mask

using Bytes = std::vector<uint8_t>;

Bytes buffer(size_t size)
{
    Bytes b(size);
    uint32_t x = 12345;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 24);
    }
    return b;
}

std::array<uint8_t, 32> benchKey()
{
    std::array<uint8_t, 32> key;
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<uint8_t>(i * 11 + 3);
    return key;
}

volatile uint32_t g_sink;

// The CPU time of this thread: on a machine shared with other work, time
// spent waiting for a core does not count.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds for one run of `fn`, repeated within a sample until it took 20 ms.
double sampleSeconds(const std::function<void()>& fn)
{
    int runs = 0;
    const double start = threadSeconds();
    double elapsed = 0;
    do {
        fn();
        ++runs;
        elapsed = threadSeconds() - start;
    } while (elapsed < 0.02);
    return elapsed / runs;
}

// Prints "figure / baseline / ratio" for `bytes` processed per run of each.
void compare(const std::string& figure, const std::function<void()>& run, const std::string& baseline,
             const std::function<void()>& runBaseline, double bytes)
{
    double best = 1e9, bestBaseline = 1e9;
    run(); // warm up caches and page in buffers
    runBaseline();
    for (int sample = 0; sample < 5; ++sample) {
        best = std::min(best, sampleSeconds(run));
        bestBaseline = std::min(bestBaseline, sampleSeconds(runBaseline));
    }
    std::printf("%-44s %8.0f MB/s / %-44s %8.0f MB/s / ratio %.2f\n", figure.c_str(), bytes / best / 1e6,
                baseline.c_str(), bytes / bestBaseline / 1e6, best / bestBaseline);
    std::fflush(stdout);
}

void crcFigures()
{
    const Bytes big = buffer(64 << 20);
    const double n = static_cast<double>(big.size());
    const auto zlib = [&] { g_sink = static_cast<uint32_t>(crc32(0, big.data(), static_cast<uInt>(big.size()))); };
    const auto crc32Now = [&] { g_sink = qv_crc32_compute(big.data(), big.size(), 0); };
    const auto crc16Now = [&] { g_sink = qv_crc16_compute(big.data(), big.size(), 0xFFFF); };
    const auto crc8Now = [&] { g_sink = qv_crc8_compute(big.data(), big.size(), 0); };
    const auto crc16Bytewise = [&] { g_sink = crc16_bytewise(big.data(), big.size(), 0xFFFF); };
    const auto crc8Bytewise = [&] { g_sink = crc8_bytewise(big.data(), big.size(), 0); };
    for (bool tablesOnly : {false, true}) {
        if (!tablesOnly && !crc_clmul_available())
            continue;
        crc_tables_only(tablesOnly);
        const std::string path = tablesOnly ? " (slicing-by-16 tables)" : " (PCLMULQDQ folding)";
        compare("CRC-32 64 MiB" + path, crc32Now, "zlib crc32", zlib, n);
        compare("CRC-16 64 MiB" + path, crc16Now, "per-byte table form", crc16Bytewise, n);
        compare("CRC-8 64 MiB" + path, crc8Now, "per-byte table form", crc8Bytewise, n);
    }
    crc_tables_only(false);
}

struct EvpCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using EvpCtx = std::unique_ptr<EVP_CIPHER_CTX, EvpCtxFree>;

// AES-256-CBC over 1 MiB in place, both directions, against OpenSSL as the
// process finds it (with or without AES instructions).
void aesFigures(const char* path, const char* opensslPath)
{
    const auto key = benchKey();
    const uint8_t iv[16] = {};
    Bytes buf = buffer(1 << 20);
    Bytes out(buf.size() + 16);
    for (int encrypt : {1, 0}) {
        aes256_ctx_t ctx;
        aes256_set_key(&ctx, key.data());
        aes256_set_iv(&ctx, iv);
        EvpCtx c(EVP_CIPHER_CTX_new());
        EVP_CipherInit_ex(c.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv, encrypt);
        EVP_CIPHER_CTX_set_padding(c.get(), 0);
        const std::string direction = encrypt ? "encrypt" : "decrypt";
        compare("AES-256-CBC " + direction + " 1 MiB (" + path + ")",
                [&] { (encrypt ? aes256_encrypt_cbc : aes256_decrypt_cbc)(&ctx, buf.data(), buf.size()); },
                std::string("OpenSSL ") + opensslPath,
                [&] {
                    int len = 0;
                    EVP_CipherUpdate(c.get(), out.data(), &len, buf.data(), static_cast<int>(buf.size()));
                },
                static_cast<double>(buf.size()));
    }
}

// A 32 MiB image of 64 KiB segments decoded in 4 KiB chunks, against OpenSSL
// decrypting the same payload in the same chunks plus zlib's crc32 over the
// image and over every decrypted chunk: the decoder's own work.
void dfuFigure(const char* path, const char* opensslPath)
{
    const auto key = benchKey();
    std::vector<dfu_segment_t> segments;
    const Bytes data = buffer(65536);
    for (uint32_t i = 0; i < (32 << 20) / (16 + 65536); ++i)
        segments.push_back({0x08000000 + i * 65536, data});
    const Bytes image = dfu_encode_image(key, "ZENTROVA", 0x0100, 0x0100, segments);
    Bytes work(4096);
    dfu_image_ctx_t ctx{image.data(), key.data(), "ZENTROVA", static_cast<uint32_t>(image.size()),
                        0x08000000, 0x10000000, work.data(), work.size()};
    const auto decode = [&] {
        if (!dfu_decode_image(&ctx, nullptr))
            std::abort();
    };
    const uint8_t iv[16] = {};
    EvpCtx c(EVP_CIPHER_CTX_new());
    const auto baseline = [&] {
        uLong imageCrc = crc32(0, image.data() + 4, static_cast<uInt>(image.size() - 4));
        EVP_DecryptInit_ex(c.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv);
        EVP_CIPHER_CTX_set_padding(c.get(), 0);
        uLong chunkCrc = 0;
        for (size_t at = 20; at < image.size(); at += work.size()) {
            const size_t n = std::min(work.size(), image.size() - at);
            int len = 0;
            EVP_DecryptUpdate(c.get(), work.data(), &len, image.data() + at, static_cast<int>(n));
            chunkCrc = crc32(chunkCrc, work.data(), static_cast<uInt>(n));
        }
        g_sink = static_cast<uint32_t>(imageCrc ^ chunkCrc);
    };
    compare(std::string("DFU decode 32 MiB image (") + path + ")", decode,
            std::string("OpenSSL ") + opensslPath + " + 2x zlib crc32", baseline,
            static_cast<double>(image.size()));
}

// The part without AES instructions, in a process where OpenSSL has none.
void portableFigures()
{
    aes256_portable_only(true);
    aesFigures("portable", "without AES-NI");
    dfuFigure("portable AES", "without AES-NI");
    aes256_portable_only(false);
}

} // namespace

int main(int, char** argv)
{
    if (std::getenv("OPENSSL_ia32cap")) {
        portableFigures();
        return 0;
    }
    std::printf("figure / baseline / ratio = figure's time / baseline's time; best of 5, thread CPU time, "
                "same process\n");
    crcFigures();
    if (aes256_hardware_available()) {
        aesFigures("AES-NI", "with AES-NI");
        dfuFigure("AES-NI", "with AES-NI");
    }
    // OpenSSL reads OPENSSL_ia32cap once at start: a fresh process for the rest.
    std::fflush(stdout);
    setenv("OPENSSL_ia32cap", kNoAesNi, 1);
    std::printf("(OPENSSL_ia32cap=%s)\n", kNoAesNi);
    std::fflush(stdout);
    execv("/proc/self/exe", argv);
    std::perror("bench_crypto: re-running itself without AES-NI");
    return 1;
}
