// "zentrova dfu pack" then "zentrova dfu verify", run as the user runs them.
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProfileImage.h"
#include "support/RunTool.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

using testimg::Bytes;

const char* const kPack = "dfu pack --key key.hex -o fw.dfu --version1 0123 --pad 0x08004000:a.bin 0x08010000:b.bin";

class DfuTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        write("key.hex", "000102030405060708090a0b0c0d0e0f\n101112131415161718191A1B1C1D1E1F\n");
        write("other.hex", std::string(64, '7'));
        write("a.bin", std::string(a.begin(), a.end()));
        write("b.bin", std::string(b.begin(), b.end()));
    }

    void write(const std::string& name, const std::string& text) { std::ofstream(dir.path(name)) << text; }

    // The tool run in `dir` with the words of `args`.
    RunResult zentrova(const std::string& args)
    {
        std::vector<std::string> argv = {ZENTROVA_TOOL_PATH};
        std::istringstream words(args);
        for (std::string word; words >> word;)
            argv.push_back(word);
        return runIn(dir, argv);
    }

    TempDir dir;
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
    const RunResult pack = zentrova(kPack + std::string(" --salt 00112233445566778899aabbccddeeff"));
    ASSERT_EQ(pack.status, 0) << pack.err;
    const Bytes salted = testimg::readFile(dir.path("fw.dfu"));
    EXPECT_EQ(salted,
              dfu_encode_image(key, "ZENTROVA", 0x0123, 0x0100, {{0x08004000, paddedA}, {0x08010000, b}}, salt));
    ASSERT_EQ(zentrova(kPack).status, 0);
    EXPECT_NE(testimg::readFile(dir.path("fw.dfu")), salted);
}

// The decoder's own refusals are tested with it; here each option reaches it.
TEST_F(DfuTool, VerifyAcceptsListsAndRefuses)
{
    ASSERT_EQ(zentrova(kPack).status, 0);
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex").out, "fw.dfu: valid, version1 1.23, version2 1.00\n");
    const RunResult listed = zentrova("dfu verify --key key.hex --region 0x08004000:0xC040 --chunk 48 --list fw.dfu");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "0x08004000 48\n0x08004030 48\n0x08004060 16\n0x08010000 48\n0x08010030 16\n"
                          "fw.dfu: valid, version1 1.23, version2 1.00\n");
    for (const char* args : {
             "dfu verify fw.dfu --key other.hex",
             "dfu verify fw.dfu --key key.hex --region 0x08004000:0xC03F", // one byte short
             "dfu verify fw.dfu --key key.hex --tag ZENTROVB",
         }) {
        const RunResult run = zentrova(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(run.err, "fw.dfu: invalid image\n") << args;
    }
    // Header refusals say why; like the firmware update, no trailing bytes.
    std::ofstream(dir.path("fw.dfu"), std::ios::app) << "xy";
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex").err,
              "fw.dfu: invalid image: 2 trailing byte(s) behind the payload\n");
    write("fw.dfu", std::string(19, 'x'));
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex").err,
              "fw.dfu: invalid image: 19 bytes cannot hold the 20-byte header\n");
}

TEST_F(DfuTool, BadCommandLinesFailWithoutWriting)
{
    for (const char* args : {
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x08004000:a.bin",   // 100 bytes, no --pad
             "dfu pack --key key.hex -o fw.dfu --version1 01A3 --pad 0x1000:b.bin", // not BCD
             "dfu pack --key a.bin -o fw.dfu --version1 0123 0x1000:b.bin",         // key file not hex
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x1000:missing.bin",
             "dfu pack --key key.hex -o fw.dfu --version1 0123 4096b.bin",         // no ADDRESS:
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x100000000:b.bin", // address beyond 32 bits
         }) {
        EXPECT_NE(zentrova(args).status, 0) << args;
        EXPECT_FALSE(std::ifstream(dir.path("fw.dfu"))) << args;
    }
    ASSERT_EQ(zentrova(kPack).status, 0);
    for (const char* args : {"dfu verify fw.dfu --key key.hex --chunk 24",
                             "dfu verify fw.dfu --key key.hex --region 0x1000"})
        EXPECT_NE(zentrova(args).status, 0) << args;
}

} // namespace
