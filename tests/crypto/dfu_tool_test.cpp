// "zentrova dfu pack" then "zentrova dfu verify", run as the user runs them.
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/integrity/dfu_image_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const char* const kPack = "dfu pack --key key.hex -o fw.dfu --version1 0123 --pad 0x08004000:a.bin 0x08010000:b.bin";

class DfuTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zentrova-dfu-tool-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        write("key.hex", "000102030405060708090a0b0c0d0e0f\n101112131415161718191A1B1C1D1E1F\n");
        write("other.hex", std::string(64, '7'));
        write("a.bin", std::string(a.begin(), a.end()));
        write("b.bin", std::string(b.begin(), b.end()));
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    Bytes read(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // Exit status and output (stdout and stderr) of the tool run in `dir`.
    std::pair<int, std::string> zentrova(const std::string& args)
    {
        const std::string cmd = "cd '" + dir.string() + "' && '" ZENTROVA_TOOL_PATH "' " + args + " 2>&1";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
        std::string output;
        char buffer[512];
        size_t n;
        while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
            output.append(buffer, n);
        const int status = pipe ? pclose(pipe.release()) : -1;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }

    fs::path dir;
    const Bytes a = Bytes(100, 0xA5), b = Bytes(64, 0x5A); // a is padded to 112 bytes with 0xFF
};

// The key comes from hex text with a line break and both cases, the version2
// default is 0100, --pad fills with 0xFF; without --salt the salt is random.
TEST_F(DfuTool, PackWritesTheWritersImage)
{
    std::array<uint8_t, 32> key;
    std::iota(key.begin(), key.end(), 0);
    const std::array<uint8_t, 16> salt = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    Bytes paddedA = a;
    paddedA.resize(112, 0xFF);
    const auto pack = zentrova(kPack + std::string(" --salt 00112233445566778899aabbccddeeff"));
    ASSERT_EQ(pack.first, 0) << pack.second;
    const Bytes salted = read("fw.dfu");
    EXPECT_EQ(salted, dfu_encode_image(key, "ZENTROVA", 0x0123, 0x0100, {{0x08004000, paddedA}, {0x08010000, b}}, salt));
    ASSERT_EQ(zentrova(kPack).first, 0);
    EXPECT_NE(read("fw.dfu"), salted);
}

// The decoder's own refusals are tested with it; here each option reaches it.
TEST_F(DfuTool, VerifyAcceptsListsAndRefuses)
{
    ASSERT_EQ(zentrova(kPack).first, 0);
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex"), std::make_pair(0, std::string("fw.dfu: valid\n")));
    EXPECT_EQ(zentrova("dfu verify --key key.hex --region 0x08004000:0xC040 --chunk 48 --list fw.dfu"),
              std::make_pair(0, std::string("0x08004000 48\n0x08004030 48\n0x08004060 16\n0x08010000 48\n"
                                            "0x08010030 16\nfw.dfu: valid\n")));

    for (const char* args : {
             "dfu verify fw.dfu --key other.hex",
             "dfu verify fw.dfu --key key.hex --region 0x08004000:0xC03F", // one byte short
             "dfu verify fw.dfu --key key.hex --region 0x08004010:0x10000",
             "dfu verify fw.dfu --key key.hex --tag ZENTROVB",
         }) {
        const auto run = zentrova(args);
        EXPECT_EQ(run.first, 1) << args << "\n" << run.second;
        EXPECT_NE(run.second.find("invalid image"), std::string::npos) << args << "\n" << run.second;
    }
}

TEST_F(DfuTool, BadCommandLinesFailWithoutWriting)
{
    for (const char* args : {
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x08004000:a.bin",   // 100 bytes, no --pad
             "dfu pack --key key.hex -o fw.dfu --version1 01A3 --pad 0x1000:b.bin", // not BCD
             "dfu pack --key key.hex -o fw.dfu --version1 0123 --tag SHORT 0x1000:b.bin",
             "dfu pack --key a.bin -o fw.dfu --version1 0123 0x1000:b.bin", // key file not hex
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x1000:missing.bin",
             "dfu pack --key key.hex -o fw.dfu --version1 0123 4096b.bin",         // no ADDRESS:
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x100000000:b.bin", // address beyond 32 bits
             "dfu pack -o fw.dfu --version1 0123 0x1000:b.bin",                    // no key
         }) {
        EXPECT_NE(zentrova(args).first, 0) << args;
        EXPECT_FALSE(fs::exists(dir / "fw.dfu")) << args;
    }
    ASSERT_EQ(zentrova(kPack).first, 0);
    for (const char* args : {"dfu verify fw.dfu --key key.hex --chunk 24", "dfu verify fw.dfu --key key.hex --region 0x1000",
                             "dfu verify missing.dfu --key key.hex"})
        EXPECT_NE(zentrova(args).first, 0) << args;
}

} // namespace
