// No exception leaves doPfu or getFwVersion: their callers are foreign
// runtimes behind a C interface. The CRC-32 is wrapped at link time
// (-Wl,--wrap=qv_crc32_compute) so that a test can make the firmware header
// check throw whatever it likes in the middle of an operation against a
// simulated mouse.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "device/PfuSim.h"
#include "zentrova/device/DeviceTool.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/integrity/crc.h"

namespace {
enum class Throw { Nothing, RuntimeError, LogicError, NotAnException };
Throw g_throw = Throw::Nothing;
} // namespace

extern "C" uint32_t __real_qv_crc32_compute(const void* data, uint64_t length, uint32_t seed);

extern "C" uint32_t __wrap_qv_crc32_compute(const void* data, uint64_t length, uint32_t seed)
{
    switch (g_throw) {
    case Throw::RuntimeError:
        throw std::runtime_error("injected runtime error");
    case Throw::LogicError:
        throw std::logic_error("injected logic error");
    case Throw::NotAnException:
        throw 42;
    case Throw::Nothing:
        break;
    }
    return __real_qv_crc32_compute(data, length, seed);
}

namespace {

using namespace zentrova::sim;

TEST_F(PfuTest, UnexpectedExceptionsEndInResult83AfterTheEndStep)
{
    auto mouse = addMouse(MouseConfig::left());
    testimg::writeFile(path("fw.dfu"), testimg::pattern(100, 1));
    struct Case {
        Throw kind;
        std::string line;
    };
    for (const Case& c : {Case{Throw::RuntimeError, "\nERROR: injected runtime error\n"},
                          Case{Throw::LogicError, "\nERROR: injected logic error\n"},
                          Case{Throw::NotAnException, "\nERROR: unknown error\n"}}) {
        clearPfuLog();
        g_throw = c.kind;
        const int result = doPfu(0, ZENTROVA_PFU_OP_FIRMWARE, 0, path("fw.dfu").c_str(), 0, 0, 0, 0, 0);
        g_throw = Throw::Nothing;
        EXPECT_EQ(result, ZENTROVA_PFU_OTHER_ERROR);
        EXPECT_EQ(pfu_log, nullptr);
        EXPECT_EQ(logAfter("Device is opened\r\n"), c.line + "doPfu end\n");
    }
    // The device was force-closed each time: it opens again at once.
    EXPECT_EQ(doPfu(0, ZENTROVA_PFU_OP_CHECK, 0, nullptr, 0, 0, 0, 0, 0), 0);
}

} // namespace
