// getFwVersion against simulated mice: bcdDevice decoding, its log line, and
// the cases where there is nothing to report.
#include <sys/stat.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "device/PfuSim.h"
#include "sim/StandardDevice.h"
#include "zentrova/device/FirmwareVersion.h"
#include "zentrova/device/PfuLog.h"

using namespace zentrova::sim;

namespace {

MouseConfig withBcd(MouseConfig c, uint16_t bcd)
{
    c.bcdDevice = bcd;
    return c;
}

TEST_F(PfuTest, VersionIsDecodedFromBcdDevice)
{
    struct Case {
        uint16_t bcd;
        float version;
        const char* line;
    };
    const Case cases[] = {
        {0x0123, 1.0f + 23 / 100.0f, "1.000000 and 0.230000"},
        {0x1000, 10.0f, "10.000000 and 0.000000"},
        {0x00FF, 0.0f + 165 / 100.0f, "0.000000 and 1.650000"}, // digits above 9 are not refused
        {0x9999, 99.0f + 99 / 100.0f, "99.000000 and 0.990000"},
    };
    for (const Case& c : cases) {
        clearPfuLog();
        auto mouse = addMouse(withBcd(MouseConfig::left(), c.bcd));
        EXPECT_EQ(getFwVersion(0), c.version) << std::hex << c.bcd;
        testbed->unplug(*mouse);
        // Outside doPfu the line is appended to pfu.log, which is closed again.
        EXPECT_EQ(pfuLog(), std::string("\n\nZentrova firmware version: ") + c.line);
        EXPECT_EQ(pfu_log, nullptr);
        EXPECT_TRUE(mouse->vendorTranscript().empty()); // no request is sent
    }
    EXPECT_FLOAT_EQ(cases[0].version, 1.23f);
}

TEST_F(PfuTest, VersionOfTheRequestedHandOnly)
{
    addMouse(withBcd(MouseConfig::right(), 0x0205));
    EXPECT_EQ(getFwVersion(1), 2.0f + 5 / 100.0f);
    clearPfuLog();
    EXPECT_EQ(getFwVersion(0), 0.0f); // no left mouse
    EXPECT_EQ(pfuLog(), "");
}

TEST_F(PfuTest, UnknownHandTouchesNothing)
{
    addMouse(MouseConfig::right());
    for (int hand : {2, -1})
        EXPECT_EQ(getFwVersion(hand), 0.0f);
    struct stat st;
    EXPECT_NE(stat(path("driver.log").c_str(), &st), 0) << "a driver was constructed";
    EXPECT_NE(stat(path("pfu.log").c_str(), &st), 0);
}

// A device with the right-hand mouse's IDs whose product string cannot be
// read: its string request stalls, which ends the enumeration.
std::shared_ptr<StandardDevice> unreadableMouse()
{
    DeviceDescriptorFields f;
    f.idVendor = 0x7A51;
    f.idProduct = 2;
    f.bcdDevice = 0x0123;
    f.iProduct = 7; // not in the string table
    const std::vector<uint8_t> config = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0, 0, 0};
    return std::make_shared<StandardDevice>(deviceDescriptorBytes(f), std::vector<std::vector<uint8_t>>{config},
                                            std::map<uint8_t, std::string>{});
}

TEST_F(PfuTest, MouseThatCannotBeEnumeratedGivesZeroAndALogLine)
{
    testbed->addDevice(unreadableMouse());
    EXPECT_EQ(getFwVersion(1), 0.0f);
    EXPECT_EQ(pfuLog(), "\ngetFwVersion ERROR: (USB) stall\n");
}

} // namespace
