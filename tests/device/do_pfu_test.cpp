// doPfu and getFwVersion through the real libusb against simulated mice: every
// result code, the pfu.log trace and what the mouse holds afterwards. The
// transfers behind each driver call are the protocol tests' business.
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/LedEffect.h"
#include "device/PfuSim.h"
#include "sim/StandardDevice.h"
#include "support/ProcessCounts.h"
#include "zentrova/device/DeviceTool.h"
#include "zentrova/device/FirmwareVersion.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/integrity/dfu_image_writer.h"

using namespace zentrova::sim;
using testimg::Bytes;

namespace {

constexpr int L = 0, R = 1;

int pfu(int hand, int operation, int value = 0, const std::string& file = "", unsigned color = 0,
        int ledProgram = 0, int brightness = 0, int speed = 0, int program = 0)
{
    const int result = doPfu(hand, operation, value, file.empty() ? nullptr : file.c_str(), color, ledProgram,
                             brightness, speed, program);
    EXPECT_EQ(pfu_log, nullptr) << "pfu_log left open";
    return result;
}

const std::string kEnd = "Device is Closed\r\ndoPfu end\n";

TEST_F(PfuTest, CallsThatEndBeforeAnyOperation)
{
    MouseConfig config = MouseConfig::right();
    config.mouseId = 1; // answers the left-hand ID
    auto mouse = addMouse(config);
    const std::string heading = "\nZentrova doPfu\n", end = "doPfu end\n";
    const std::string right = heading + "Requested mouse: 2 (0:unknow, 1: left, 2: right)\n";
    const std::string undefined = right + "Nothing defined, just return with OK\n" + end;
    const std::string outOfRange = right + "Value out of range, nothing done\n" + end;
    const struct { int hand, operation, result; std::string log; int value = 3, program = 0, brightness = 0,
                   speed = 0; } cases[] = {
        {2, 0, ZENTROVA_PFU_BAD_HAND, heading + end},
        {-1, 0, ZENTROVA_PFU_BAD_HAND, heading + end},
        {L, 0, ZENTROVA_PFU_NO_DEVICE, heading + "Requested mouse: 1 (0:unknow, 1: left, 2: right)\n" + end},
        {R, 3, ZENTROVA_PFU_NOT_DONE, undefined},
        {R, -1, ZENTROVA_PFU_NOT_DONE, undefined},
        {R, 8, ZENTROVA_PFU_NOT_DONE, undefined},
        {R, ZENTROVA_PFU_OP_ACTIVATE_PROFILE, ZENTROVA_PFU_NOT_DONE, kRightHead + end}, // the ID does not match
        // Arguments out of range are not cut down to their low 8 bits.
        {R, ZENTROVA_PFU_OP_POLLING_RATE, ZENTROVA_PFU_NOT_DONE, outOfRange, 0x104},
        {R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, ZENTROVA_PFU_NOT_DONE, outOfRange, 256},
        {R, ZENTROVA_PFU_OP_ACTIVATE_PROFILE, ZENTROVA_PFU_NOT_DONE, outOfRange, -1},
        {R, ZENTROVA_PFU_OP_RUN_PROGRAM, ZENTROVA_PFU_NOT_DONE, outOfRange, 0, 300},
        {R, ZENTROVA_PFU_OP_RUN_PROGRAM, ZENTROVA_PFU_NOT_DONE, outOfRange, 0, 65},
        {R, ZENTROVA_PFU_OP_LED, ZENTROVA_PFU_NOT_DONE, outOfRange, 0, 0, 256},
        {R, ZENTROVA_PFU_OP_LED, ZENTROVA_PFU_NOT_DONE, outOfRange, 0, 0, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.hand) + "/" + std::to_string(c.operation) + "/" + std::to_string(c.value));
        clearPfuLog();
        EXPECT_EQ(pfu(c.hand, c.operation, c.value, "", 0, ZENTROVA_LED_STATIC, c.brightness, c.speed, c.program),
                  c.result);
        EXPECT_EQ(pfuLog(), c.log);
    }
    EXPECT_EQ(requestCodes(*mouse), std::vector<int>{ZENTROVA_CTRL_REQUEST_ID}); // the one ID check
    EXPECT_EQ(mouse->state().activeSlot, 0u);
}

TEST_F(PfuTest, OfTwoLeftMiceTheLastMatchingOneIsUsed)
{
    MouseConfig a = MouseConfig::left(), b = MouseConfig::left();
    a.serialNumber = "ZV-L-000A";
    b.serialNumber = "ZV-L-000B";
    auto first = addMouse(a), second = addMouse(b);
    EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_ACTIVATE_PROFILE, 3), 0);
    const std::string log = pfuLog();
    // The table shows libusb's order; the mouse in its second row is used.
    const bool aFirst = log.find("ZV-L-000A") < log.find("ZV-L-000B");
    auto used = aFirst ? second : first, other = aFirst ? first : second;
    EXPECT_NE(log.find("Close device(1) for checking mouse ID\nDevice is opened\r\n"), std::string::npos) << log;
    EXPECT_EQ(requestCodes(*other), std::vector<int>{ZENTROVA_CTRL_REQUEST_ID});
    EXPECT_EQ(used->state().activeSlot, 3u);
    EXPECT_EQ(other->state().activeSlot, 0u);
}

TEST_F(PfuTest, OperationsTraceAndChangeTheMouse)
{
    auto mouse = addMouse(MouseConfig::right());
    using Record = std::array<uint8_t, 16>;
    const unsigned color = 0x102030FF; // red 0x10, green 0x20, blue 0x30
    const std::string led = "Led color is 0x301020(brg)\r\n", program = led + "Led program is ";
    const Record staticRecord = {0x10, 0x20, 0x30, 200, 200, 0xA0};
    // lines: the trace between opening and closing; record, ledProgram: the mouse's LED state afterwards.
    const struct { int operation, value, effect, brightness, speed, program, result; std::string lines;
                   Record record; unsigned ledProgram; } cases[] = {
        {ZENTROVA_PFU_OP_CHECK, 0, 0, 0, 0, 0, 0, "Just checking the mouse\r\n", {}, 0},
        {ZENTROVA_PFU_OP_RUN_PROGRAM, 0, 0, 0, 0, 7, 0x70, "Simulate button program(7) running\r\n", {}, 0},
        {ZENTROVA_PFU_OP_ACTIVATE_PROFILE, 3, 0, 0, 0, 0, 0, "\nActivate the profile 3\r\n", {}, 0},
        {ZENTROVA_PFU_OP_POLLING_RATE, 255, 0, 0, 0, 0, 0, "\nSet polling rate255\r\n", {}, 0},
        {ZENTROVA_PFU_OP_LED, 0, ZENTROVA_LED_STATIC, 200, 3, 0, 0x60,
         program + "static\r\nLed brightness is 200\r\nLed speed is 3\r\n", staticRecord, 1},
        // An unknown effect logs its settings and sends nothing.
        {ZENTROVA_PFU_OP_LED, 0, 5, 9, 8, 0, 0x60, led + "Led brightness is 9\r\nLed speed is 8\r\n", staticRecord, 1},
        {ZENTROVA_PFU_OP_LED, 0, ZENTROVA_LED_BREATHING, 255, 0, 0, 0x60,
         program + "breathing\r\nLed brightness is 255\r\nLed speed is 0\r\nLed cycle is 10\r\n",
         {0x10, 0x20, 0x30, 0, 255, 0x01, 10}, 1},
        {ZENTROVA_PFU_OP_LED, 0, ZENTROVA_LED_RAINBOW, 80, 0, 0, 0x60,
         program + "rainbow\r\nLed brightness is 80\r\nLed speed is 0\r\n", {0xFF, 80, 51}, 2},
        {ZENTROVA_PFU_OP_LED, 0, ZENTROVA_LED_OFF, 80, 0, 0, 0x60,
         program + "none, led off\r\nLed brightness is 80\r\nLed speed is 0\r\n", {0, 0, 0, 0, 0, 0xE8}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        const size_t before = pfuLog().size(); // the log is appended to, call after call
        EXPECT_EQ(pfu(R, c.operation, c.value, "", color, c.effect, c.brightness, c.speed, c.program), c.result);
        EXPECT_EQ(pfuLog().substr(before), kRightHead + "Device is opened\r\n" + c.lines + kEnd);
        EXPECT_EQ(mouse->state().ledParams, c.record);
        EXPECT_EQ(mouse->state().ledProgram, c.ledProgram);
    }
    const MouseState s = mouse->state();
    EXPECT_EQ(s.lastProgram, 7);
    EXPECT_EQ(s.activeSlot, 3u);
    EXPECT_EQ(s.pollingRate, 255u);
}

// A valid image of `programs` programs of `size` bytes each.
Bytes profile(int programs, size_t size)
{
    testimg::ProfileImage img;
    for (int i = 0; i < programs; ++i)
        img.programs.push_back({static_cast<uint8_t>(i), testimg::pattern(size, static_cast<uint8_t>(i))});
    return img.bytes();
}

TEST_F(PfuTest, ProfileUploads)
{
    testimg::ProfileImage bad;
    bad.badCrc = true;
    testimg::writeFile(path("bad.zvmp"), bad.bytes());
    const Bytes image = profile(3, 2000); // 6072 bytes: two chunks
    testimg::writeFile(path("p.zvmp"), image);
    testimg::ProfileImage trailing; // the CRC covers the byte behind the last record too
    trailing.programs = {{1, testimg::pattern(10, 1)}};
    trailing.trailing = {0};
    testimg::writeFile(path("trailing.zvmp"), trailing.bytes());
    // Faults count the mouse's vendor requests from 1: ID 1, status 2, reset 3,
    // status 4, start 5, status 6, chunk 7, status 8, chunk 9, status 10, end 11.
    MouseFaults none, statusError, unplug, shortChunk;
    statusError.statusErrorAfter = 7;
    unplug.unplugAt = 9;
    shortChunk.shortAnswerAt = 7;
    const struct { const char* name; MouseFaults faults; const char* file; int result;
                   std::string end; } cases[] = {
        {"uploaded", none, "p.zvmp", ZENTROVA_PFU_PROFILE_UPLOADED,
         "checkpoint #4\r\ncheckpoint #5\r\n\nProfile is valid\r\n\nStart upload profile\r\n"
         "\nProfile is uploaded successfully\r\n" + kEnd},
        {"crc", none, "bad.zvmp", ZENTROVA_PFU_PROFILE_INVALID,
         "\r\ncrc error\r\n\r\nCannot read profile file\r\n\nProfile is invalid\r\n" + kEnd},
        {"absent", none, "absent.zvmp", ZENTROVA_PFU_PROFILE_UNREADABLE, "\nOpen profile file is failed" + kEnd},
        {"directory", none, ".", ZENTROVA_PFU_PROFILE_UNREADABLE, "\nRead profile file is failed" + kEnd},
        {"a byte behind the last record", none, "trailing.zvmp", ZENTROVA_PFU_PROFILE_INVALID,
         "checkpoint #5\r\n\nProfile is invalid\r\n" + kEnd},
        {"status 2 after a chunk", statusError, "p.zvmp", ZENTROVA_PFU_DEVICE_ERROR,
         "\nERROR (Zentrova:) communication error\ndoPfu end\n"},
        {"chunk taken in part", shortChunk, "p.zvmp", ZENTROVA_PFU_DEVICE_ERROR,
         "\nERROR (Zentrova:) short transfer: 4095 of 4096 bytes\ndoPfu end\n"},
        {"unplugged mid-upload", unplug, "p.zvmp", ZENTROVA_PFU_USB_ERROR,
         "\nERROR: (USB) no such device (it may have been disconnected)\ndoPfu end\n"},
    };
    const std::string head =
        "\nProfile sepecified, upload profile to position 1\r\n\nCheck if profile is valid or not\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MouseConfig config = MouseConfig::right();
        config.faults = c.faults;
        config.serialNumber = c.name; // a fresh mouse per case
        auto mouse = addMouse(config);
        clearPfuLog();
        const int result = pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 1, path(c.file));
        testbed->unplug(*mouse); // out of the way of the next case
        EXPECT_EQ(result, c.result);
        const std::string log = logAfter("Device is opened\r\n");
        EXPECT_EQ(log.substr(0, head.size()), head) << log;
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), c.end.size())), c.end) << log;
        EXPECT_EQ(mouse->state().slots, (result == ZENTROVA_PFU_PROFILE_UPLOADED ? std::map<unsigned, Bytes>{{1, image}}
                                                                                 : std::map<unsigned, Bytes>{}));
    }
    // Slot 0 is taken as done and stores nothing.
    auto mouse = addMouse(MouseConfig::right());
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 0, path("p.zvmp")), ZENTROVA_PFU_PROFILE_UPLOADED);
    EXPECT_TRUE(mouse->state().slots.empty());
}

Bytes firmware(uint16_t version2 = 0x0100)
{
    std::array<uint8_t, 32> key{};
    key[0] = 0x5A;
    return dfu_encode_image(key, "ZENTROVA", 0x0205, version2, {{0x08004000, testimg::pattern(8192, 9)}});
}

// Calls from several threads wait for each other: every upload lands whole
// in its slot and every answer is right (ThreadSanitizer watches pfu_log).
TEST_F(PfuTest, OverlappingCallsFromThreadsWaitForEachOther)
{
    auto mouse = addMouse(MouseConfig::right());
    const Bytes a = profile(2, 1500), b = profile(3, 1200);
    testimg::writeFile(path("a.zvmp"), a);
    testimg::writeFile(path("b.zvmp"), b);
    std::atomic<int> wrong{0};
    const auto uploads = [&](int slot, const std::string& file) {
        for (int i = 0; i < 4; ++i)
            wrong += doPfu(1, 2, slot, file.c_str(), 0, 0, 0, 0, 0) != ZENTROVA_PFU_PROFILE_UPLOADED;
    };
    std::thread first(uploads, 1, path("a.zvmp")), second(uploads, 2, path("b.zvmp"));
    std::thread version([&] {
        for (int i = 0; i < 4; ++i)
            wrong += getFwVersion(1) != 1.0f + 23 / 100.0f;
    });
    first.join();
    second.join();
    version.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(mouse->state().slots, (std::map<unsigned, Bytes>{{1, a}, {2, b}}));
}

TEST_F(PfuTest, FirmwareUpdateSendsOnlyImagesPassingTheHeaderChecks)
{
    auto mouse = addMouse(MouseConfig::left());
    const Bytes good = firmware(); // 8260 bytes: three chunks
    const auto resealed = [&](auto change) {
        Bytes b = good;
        change(b);
        return testimg::sealed(b);
    };
    Bytes badCrc = good;
    badCrc.back() ^= 0x80; // the CRC covers the whole file
    const struct {
        const char* name;
        Bytes bytes;
        int result = ZENTROVA_PFU_FIRMWARE_INVALID;
        const char* file = "fw.dfu";
    } cases[] = {
        {"crc", badCrc},
        {"tag", resealed([](Bytes& b) { b[4] = 'X'; })},
        {"length", resealed([](Bytes& b) { b.push_back(0); })},
        {"version1 digit", resealed([](Bytes& b) { testimg::putLe(b, 12, 0x012A); })},
        {"version2 0x0101", firmware(0x0101)},
        {"19 bytes", Bytes(good.begin(), good.begin() + 19)}, // exact size: ASan sees any read past the end
        {"absent", Bytes(), ZENTROVA_PFU_FILE_ERROR, "absent.dfu"},
        {"null path", Bytes(), ZENTROVA_PFU_FILE_ERROR, ""},
        {"good", good, ZENTROVA_PFU_FIRMWARE_SENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearPfuLog();
        testimg::writeFile(path("fw.dfu"), c.bytes);
        EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_FIRMWARE, 0, c.file[0] ? path(c.file) : ""), c.result);
        EXPECT_EQ(logAfter("Device is opened\r\n"),
                  c.result == ZENTROVA_PFU_FILE_ERROR ? "\nERROR: No such file or directory\ndoPfu end\n" : kEnd);
        EXPECT_EQ(mouse->state().firmwareReceived, c.result == ZENTROVA_PFU_FIRMWARE_SENT);
    }
    EXPECT_EQ(mouse->state().firmware, good);
}

TEST_F(PfuTest, ALogThatCannotBeOpenedDoesNotStopTheOperation)
{
    auto mouse = addMouse(MouseConfig::right());
    ASSERT_EQ(mkdir(path("pfu.log").c_str(), 0755), 0); // fopen("pfu.log", "a") fails
    testimg::writeFile(path("p.zvmp"), profile(2, 100));
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 4, path("p.zvmp")), ZENTROVA_PFU_PROFILE_UPLOADED);
    EXPECT_EQ(mouse->state().slots.at(4), profile(2, 100));
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_FIRMWARE, 0, path("absent")), ZENTROVA_PFU_FILE_ERROR);
}

TEST_F(PfuTest, FirmwareVersionFromBcdDevice)
{
    const struct { bool right; uint16_t bcd; float version; const char* line; } cases[] = {
        {false, 0x0123, 1.0f + 23 / 100.0f, "1.000000 and 0.230000"},
        {false, 0x1000, 10.0f, "10.000000 and 0.000000"},
        {false, 0x00FF, 0.0f + 165 / 100.0f, "0.000000 and 1.650000"}, // digits above 9 are not refused
        {true, 0x0205, 2.0f + 5 / 100.0f, "2.000000 and 0.050000"},
    };
    for (const auto& c : cases) {
        clearPfuLog();
        MouseConfig config = c.right ? MouseConfig::right() : MouseConfig::left();
        config.bcdDevice = c.bcd;
        auto mouse = addMouse(config);
        EXPECT_EQ(getFwVersion(c.right), c.version) << std::hex << c.bcd;
        // Outside doPfu the line is appended to pfu.log, which is closed again.
        EXPECT_EQ(pfuLog(), std::string("\n\nZentrova firmware version: ") + c.line);
        EXPECT_EQ(pfu_log, nullptr);
        EXPECT_TRUE(mouse->vendorTranscript().empty()); // no request is sent
        if (!c.right)
            testbed->unplug(*mouse);
    }
    // Only the right mouse is left: nothing for the left hand or an unknown one.
    clearPfuLog();
    for (int hand : {0, 2, -1})
        EXPECT_EQ(getFwVersion(hand), 0.0f) << hand;
    EXPECT_EQ(pfuLog(), "");
    // Each call closes what it opened (a configurator asks again and again).
    const size_t before = testsupport::openDescriptors();
    getFwVersion(1);
    EXPECT_EQ(testsupport::openDescriptors(), before);
}

TEST_F(PfuTest, MouseWhoseStringsCannotBeReadIsLeftOut)
{
    // The right-hand mouse's IDs, but its product string request stalls.
    DeviceDescriptorFields f;
    f.idVendor = 0x7A51;
    f.idProduct = 2;
    f.iProduct = 7; // not in the string table
    const std::vector<uint8_t> config = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0, 0, 0};
    testbed->addDevice(std::make_shared<StandardDevice>(deviceDescriptorBytes(f),
                                                        std::vector<std::vector<uint8_t>>{config},
                                                        std::map<uint8_t, std::string>{}));
    EXPECT_EQ(getFwVersion(1), 0.0f);
    EXPECT_EQ(pfuLog(), "");
    EXPECT_EQ(doPfu(1, ZENTROVA_PFU_OP_CHECK, 0, nullptr, 0, 0, 0, 0, 0), ZENTROVA_PFU_NO_DEVICE);
}

// The breathing cycle byte at the edges of its single precision formula.
TEST(LedEffect, BreathingCycleInSinglePrecision)
{
    const struct { int brightness, speed; unsigned char cycle; } cases[] = {
        {255, 0, 10},  {100, 56, 20}, {255, 255, 0},
        {1, 0, 255},   // 2570, capped
        {0, 0, 0},     // infinite quotient
        {0, 256, 0},   // 0 * infinity
        {0, 300, 0},   // negative infinity
        {128, 0, 20},  // 256 * (2 * 10 / 255) = 20.08
        {255, 256, 0},
        {255, -2000000000, 255}, // far above 255, capped rather than wrapped
    };
    for (const auto& c : cases)
        EXPECT_EQ(zentrova::breathingCycle(c.brightness, c.speed), c.cycle) << c.brightness << "/" << c.speed;
}

} // namespace
