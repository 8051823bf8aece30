// Failures that a simulated mouse and ordinary files cannot produce, injected
// at link time with -Wl,--wrap: the CRC-32 throws whatever a test likes in the
// middle of an operation (no exception may leave doPfu: its callers are
// foreign runtimes behind a C interface), and the loader's buffer cannot be
// allocated.
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "device/PfuSim.h"
#include "zentrova/device/DeviceTool.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/profile/pfg.h"

namespace {
void (*g_throw)() = nullptr; // called by the CRC-32
size_t g_failAllocOf = 0;    // new[](size, nothrow) of this size gives null
} // namespace

// operator new[](size_t, const std::nothrow_t&), by its mangled name.
extern "C" void* __real__ZnamRKSt9nothrow_t(size_t size, const std::nothrow_t& tag) noexcept;
extern "C" void* __wrap__ZnamRKSt9nothrow_t(size_t size, const std::nothrow_t& tag) noexcept
{
    return g_failAllocOf && size == g_failAllocOf ? nullptr : __real__ZnamRKSt9nothrow_t(size, tag);
}

extern "C" uint32_t __real_qv_crc32_compute(const void* data, uint64_t length, uint32_t seed);
extern "C" uint32_t __wrap_qv_crc32_compute(const void* data, uint64_t length, uint32_t seed)
{
    if (g_throw)
        g_throw();
    return __real_qv_crc32_compute(data, length, seed);
}

namespace {

using namespace zentrova::sim;

TEST_F(PfuTest, UnexpectedExceptionsEndInResult83AfterTheEndStep)
{
    auto mouse = addMouse(MouseConfig::left());
    testimg::writeFile(path("fw.dfu"), testimg::pattern(100, 1));
    const struct { void (*thrower)(); std::string line; } cases[] = {
        {[] { throw std::runtime_error("injected runtime error"); }, "\nERROR: injected runtime error\n"},
        {[] { throw 42; }, "\nERROR: unknown error\n"},
    };
    for (const auto& c : cases) {
        clearPfuLog();
        g_throw = c.thrower;
        const int result = doPfu(0, ZENTROVA_PFU_OP_FIRMWARE, 0, path("fw.dfu").c_str(), 0, 0, 0, 0, 0);
        g_throw = nullptr;
        EXPECT_EQ(result, ZENTROVA_PFU_OTHER_ERROR);
        EXPECT_EQ(pfu_log, nullptr);
        EXPECT_EQ(logAfter("Device is opened\r\n"), c.line + "doPfu end\n");
    }
    // The device was force-closed each time: it opens again at once.
    EXPECT_EQ(doPfu(0, ZENTROVA_PFU_OP_CHECK, 0, nullptr, 0, 0, 0, 0, 0), 0);
}

// doPfg too: an unexpected exception while the image is sealed leaves the
// destination alone and says so in pfg.log.
TEST_F(PfuTest, UnexpectedExceptionInDoPfgWritesNoImage)
{
    testimg::writeFile(path("out.zvmp"), {1, 2, 3});
    g_throw = [] { throw 42; };
    EXPECT_EQ(doPfg("absent.json", 1, "P", "out.zvmp"), 0);
    g_throw = nullptr;
    EXPECT_EQ(testimg::readFile(path("out.zvmp")), testimg::Bytes({1, 2, 3}));
    const testimg::Bytes log = testimg::readFile(path("pfg.log"));
    EXPECT_NE(std::string(log.begin(), log.end())
                  .find("profile generation failed unexpectedly\n[ERROR]          no profile image written to 'out.zvmp'\n"),
              std::string::npos);
}

TEST_F(PfuTest, ProfileWhoseCheckBufferCannotBeAllocatedIsUnreadable)
{
    auto mouse = addMouse(MouseConfig::right());
    testimg::ProfileImage img;
    img.programs = {{1, testimg::pattern(100, 1)}};
    testimg::writeFile(path("p.zvmp"), img.bytes());
    g_failAllocOf = 8192;
    EXPECT_EQ(doPfu(1, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 1, path("p.zvmp").c_str(), 0, 0, 0, 0, 0),
              ZENTROVA_PFU_PROFILE_UNREADABLE);
    g_failAllocOf = 0;
    EXPECT_EQ(logAfter("Check if profile is valid or not\r\n"),
              "\nmalloc profile buffer failed. tried to malloc 8192 bytes\r\nDevice is Closed\r\ndoPfu end\n");
    EXPECT_TRUE(mouse->state().slots.empty());
}

} // namespace
