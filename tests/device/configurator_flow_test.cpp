// The configurator's whole job as it runs it: load the library with dlopen,
// resolve the entry points by their plain names, compile an example profile
// with doPfg, upload the image with doPfu, activate it, read the firmware
// version, all against a simulated mouse, and compare what the mouse stored
// byte for byte with the file.
#include <dlfcn.h>

#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "device/PfuSim.h"

using namespace zentrova::sim;

namespace {

TEST_F(PfuTest, CompileUploadActivateAndReadVersionThroughDlopen)
{
    auto mouse = addMouse(MouseConfig::right());
    std::unique_ptr<void, int (*)(void*)> lib(dlopen(ZENTROVA_LIB_PATH, RTLD_NOW | RTLD_LOCAL), dlclose);
    ASSERT_TRUE(lib) << dlerror();
    auto doPfg = reinterpret_cast<int (*)(const char*, int, const char*, const char*)>(dlsym(lib.get(), "doPfg"));
    auto doPfu =
        reinterpret_cast<int (*)(int, int, int, const char*, unsigned, int, int, int, int)>(dlsym(lib.get(), "doPfu"));
    auto getFwVersion = reinterpret_cast<float (*)(int)>(dlsym(lib.get(), "getFwVersion"));
    ASSERT_TRUE(doPfg && doPfu && getFwVersion);

    const std::string json = std::string(ZENTROVA_SOURCE_DIR) + "/examples/profiles/shooter.json";
    const std::string image = path("sniper.zvmp");
    ASSERT_EQ(doPfg(json.c_str(), 1, "Sniper", image.c_str()), 0);
    const testimg::Bytes file = testimg::readFile(image);
    ASSERT_GT(file.size(), 60u);

    EXPECT_EQ(doPfu(1, 2, 5, image.c_str(), 0, 0, 0, 0, 0), 0x20);
    EXPECT_EQ(doPfu(1, 6, 5, nullptr, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(getFwVersion(1), 1.0f + 23 / 100.0f);

    const MouseState s = mouse->state();
    EXPECT_EQ(s.slots, (std::map<unsigned, testimg::Bytes>{{5, file}}));
    EXPECT_EQ(s.activeSlot, 5u);
}

} // namespace
