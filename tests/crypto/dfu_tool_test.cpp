// "zentrova dfu pack" then "zentrova dfu verify", run as the user runs them.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/integrity/dfu.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct ToolRun {
    int status;
    std::string output; // stdout and stderr
};

class DfuTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zentrova-dfu-tool-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        writeText("key.hex", "000102030405060708090a0b0c0d0e0f\n101112131415161718191A1B1C1D1E1F\n");
        writeText("other.hex", std::string(64, '7'));
        a = filler(100, 1); // padded to 112 with 0xFF
        b = filler(64, 2);
        writeBytes("a.bin", a);
        writeBytes("b.bin", b);
    }
    void TearDown() override { fs::remove_all(dir); }

    static Bytes filler(size_t n, uint8_t seed)
    {
        Bytes out(n);
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<uint8_t>(seed * 31 + i * 5);
        return out;
    }
    void writeText(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }
    void writeBytes(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    Bytes readBytes(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    ToolRun zentrova(const std::string& args)
    {
        const std::string cmd = "cd '" + dir.string() + "' && '" ZENTROVA_TOOL_PATH "' " + args + " 2>&1";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
        ToolRun run{-1, {}};
        if (!pipe)
            return run;
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
            run.output.append(buffer, n);
        const int status = pclose(pipe.release());
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    fs::path dir;
    Bytes a, b;
};

const char* const kPack = "dfu pack --key key.hex -o fw.dfu --version1 0123 --pad 0x08004000:a.bin 0x08010000:b.bin";

struct Chunk {
    uint32_t address;
    Bytes data;
};
std::vector<Chunk> g_chunks;

bool record(uint32_t address, uint8_t* data, size_t size)
{
    g_chunks.push_back({address, Bytes(data, data + size)});
    return true;
}

TEST_F(DfuTool, PackedImageCarriesThePaddedFiles)
{
    const ToolRun pack = zentrova(kPack);
    ASSERT_EQ(pack.status, 0) << pack.output;
    const Bytes image = readBytes("fw.dfu");
    ASSERT_EQ(image.size(), 20u + 32 + 16 + 112 + 16 + 64);
    EXPECT_EQ(image[12] | image[13] << 8, 0x0123);
    EXPECT_EQ(image[14] | image[15] << 8, 0x0100);

    std::array<uint8_t, 32> key;
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<uint8_t>(i);
    Bytes work(4096);
    dfu_image_ctx_t ctx{image.data(), key.data(), "ZENTROVA", static_cast<uint32_t>(image.size()), 0x08000000,
                        0x20000, work.data(), work.size()};
    g_chunks.clear();
    ASSERT_TRUE(dfu_decode_image(&ctx, record));
    ASSERT_EQ(g_chunks.size(), 2u);
    Bytes paddedA = a;
    paddedA.resize(112, 0xFF);
    EXPECT_EQ(g_chunks[0].address, 0x08004000u);
    EXPECT_EQ(g_chunks[0].data, paddedA);
    EXPECT_EQ(g_chunks[1].address, 0x08010000u);
    EXPECT_EQ(g_chunks[1].data, b);
}

TEST_F(DfuTool, VerifyAcceptsAndListsChunks)
{
    ASSERT_EQ(zentrova(kPack).status, 0);
    ToolRun run = zentrova("dfu verify fw.dfu --key key.hex");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "fw.dfu: valid\n");

    run = zentrova("dfu verify --key key.hex --region 0x08004000:0xC040 --chunk 48 --list fw.dfu");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "0x08004000 48\n0x08004030 48\n0x08004060 16\n0x08010000 48\n0x08010030 16\n"
                          "fw.dfu: valid\n");
}

TEST_F(DfuTool, VerifyRefuses)
{
    ASSERT_EQ(zentrova(kPack).status, 0);
    Bytes corrupt = readBytes("fw.dfu");
    corrupt[100] ^= 1;
    writeBytes("corrupt.dfu", corrupt);
    const char* const refused[] = {
        "dfu verify fw.dfu --key other.hex",
        "dfu verify fw.dfu --key key.hex --region 0x08004000:0xC03F", // one byte short
        "dfu verify fw.dfu --key key.hex --region 0x08004010:0x10000",
        "dfu verify fw.dfu --key key.hex --tag ZENTROVB",
        "dfu verify corrupt.dfu --key key.hex",
    };
    for (const char* args : refused) {
        const ToolRun run = zentrova(args);
        EXPECT_EQ(run.status, 1) << args << "\n" << run.output;
        EXPECT_NE(run.output.find("invalid image"), std::string::npos) << args << "\n" << run.output;
    }
}

TEST_F(DfuTool, BadCommandLinesFailWithoutWriting)
{
    const char* const bad[] = {
        "dfu pack --key key.hex -o fw.dfu --version1 0123 0x08004000:a.bin",    // 100 bytes, no --pad
        "dfu pack --key key.hex -o fw.dfu --version1 01A3 --pad 0x1000:b.bin",  // not BCD
        "dfu pack --key key.hex -o fw.dfu --version1 0123 --tag SHORT 0x1000:b.bin",
        "dfu pack --key a.bin -o fw.dfu --version1 0123 0x1000:b.bin",          // key file not hex
        "dfu pack --key key.hex -o fw.dfu --version1 0123 0x1000:missing.bin",
        "dfu pack --key key.hex -o fw.dfu --version1 0123 4096b.bin",           // no ADDRESS:
        "dfu pack --key key.hex -o fw.dfu --version1 0123 0x100000000:b.bin",   // address beyond 32 bits
        "dfu pack -o fw.dfu --version1 0123 0x1000:b.bin",                      // no key
    };
    for (const char* args : bad) {
        const ToolRun run = zentrova(args);
        EXPECT_NE(run.status, 0) << args << "\n" << run.output;
        EXPECT_FALSE(fs::exists(dir / "fw.dfu")) << args;
    }
    ASSERT_EQ(zentrova(kPack).status, 0);
    EXPECT_NE(zentrova("dfu verify fw.dfu --key key.hex --chunk 24").status, 0);
    EXPECT_NE(zentrova("dfu verify fw.dfu --key key.hex --region 0x1000").status, 0);
    EXPECT_NE(zentrova("dfu verify missing.dfu --key key.hex").status, 0);
}

TEST_F(DfuTool, SaltMakesImagesReproducible)
{
    const std::string salt = " --salt 00112233445566778899aabbccddeeff";
    ASSERT_EQ(zentrova(kPack + salt).status, 0);
    const Bytes first = readBytes("fw.dfu");
    ASSERT_EQ(zentrova(kPack + salt).status, 0);
    EXPECT_EQ(readBytes("fw.dfu"), first);
    ASSERT_EQ(zentrova(kPack).status, 0); // random salt
    EXPECT_NE(readBytes("fw.dfu"), first);
}

} // namespace
