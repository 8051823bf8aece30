// doPfu through the real libusb against simulated mice: every operation, its
// pfu.log trace, the transfers the mouse received and what it stored.
#include <sys/stat.h>

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/PfuSim.h"
#include "zentrova/device/DeviceTool.h"
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

const std::string kRightOpened = traceHead(2, {kRightRow}) + idCheck(1) + "Device is opened\r\n";

TEST_F(PfuTest, CheckOpensTheMouseAndTracesEveryStep)
{
    auto mouse = addMouse(MouseConfig::right());
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_CHECK), 0);
    const std::string trace = kRightOpened + "Just checking the mouse\r\nDevice is Closed\r\ndoPfu end\n";
    EXPECT_EQ(pfuLog(), trace);
    EXPECT_EQ(requestCodes(*mouse), std::vector<int>{ZENTROVA_CTRL_REQUEST_ID});
    // The log is appended to, call after call.
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_CHECK), 0);
    EXPECT_EQ(pfuLog(), trace + trace);
}

TEST_F(PfuTest, UnknownHandTouchesNoDevice)
{
    auto mouse = addMouse(MouseConfig::right());
    for (int hand : {2, -1}) {
        clearPfuLog();
        EXPECT_EQ(pfu(hand, ZENTROVA_PFU_OP_CHECK), ZENTROVA_PFU_BAD_HAND);
        EXPECT_EQ(pfuLog(), "\nZentrova doPfu\ndoPfu end\n");
    }
    EXPECT_TRUE(mouse->transcript().empty()); // not even its strings were read
}

TEST_F(PfuTest, NoMouseOfTheRequestedHand)
{
    addMouse(MouseConfig::right());
    EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_CHECK), ZENTROVA_PFU_NO_DEVICE);
    EXPECT_EQ(pfuLog(), "\nZentrova doPfu\nRequested mouse: 1 (0:unknow, 1: left, 2: right)\ndoPfu end\n");
}

TEST_F(PfuTest, UndefinedOperationsEndBeforeTheDeviceTable)
{
    auto mouse = addMouse(MouseConfig::left());
    for (int operation : {3, -1, 8, 1000}) {
        clearPfuLog();
        EXPECT_EQ(pfu(L, operation), ZENTROVA_PFU_NOT_DONE) << operation;
        EXPECT_EQ(pfuLog(), "\nZentrova doPfu\nRequested mouse: 1 (0:unknow, 1: left, 2: right)\n"
                            "Nothing defined, just return with OK\ndoPfu end\n");
    }
    EXPECT_TRUE(mouse->vendorTranscript().empty());
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
    EXPECT_NE(log.find(idCheck(2) + "Device is opened\r\n"), std::string::npos) << log;
    EXPECT_EQ(requestCodes(*other), std::vector<int>{ZENTROVA_CTRL_REQUEST_ID});
    EXPECT_EQ(requestCodes(*used), (std::vector<int>{ZENTROVA_CTRL_REQUEST_ID, ZENTROVA_CTRL_REQUEST_RESET,
                                                     ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE}));
    EXPECT_EQ(used->state().activeSlot, 3u);
    EXPECT_EQ(other->state().activeSlot, 0u);
}

TEST_F(PfuTest, RightMouseAnsweringTheLeftIdIsNotUsed)
{
    MouseConfig c = MouseConfig::right();
    c.mouseId = 1;
    auto mouse = addMouse(c);
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_ACTIVATE_PROFILE, 3), ZENTROVA_PFU_NOT_DONE);
    EXPECT_EQ(pfuLog(), traceHead(2, {kRightRow}) + idCheck(1) + "doPfu end\n");
    EXPECT_EQ(mouse->state().activeSlot, 0u);
}

// A valid image of `programs` programs of `size` bytes each.
Bytes profile(int programs, size_t size)
{
    testimg::ProfileImage img;
    for (int i = 0; i < programs; ++i)
        img.programs.push_back({static_cast<uint8_t>(i), testimg::pattern(size, static_cast<uint8_t>(i))});
    return img.bytes();
}

TEST_F(PfuTest, ProfileUploadStoresTheFileByteForByte)
{
    auto mouse = addMouse(MouseConfig::right());
    const Bytes image = profile(3, 2000); // 6072 bytes: two chunks
    testimg::writeFile(path("p.zvmp"), image);
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 2, path("p.zvmp")), ZENTROVA_PFU_PROFILE_UPLOADED);

    EXPECT_EQ(mouse->state().slots.at(2), image);
    const auto sent = commands(*mouse);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[1].setup.bRequest, ZENTROVA_CTRL_REQUEST_RESET);
    EXPECT_EQ(sent[2].setup.bRequest, ZENTROVA_CTRL_REQUEST_PROFILE_START);
    EXPECT_EQ(sent[2].setup.wIndex, 2);
    EXPECT_EQ(sent[3].data, Bytes(image.begin(), image.begin() + 4096));
    EXPECT_EQ(sent[4].data, Bytes(image.begin() + 4096, image.end()));
    EXPECT_EQ(sent[5].setup.bRequest, ZENTROVA_CTRL_REQUEST_PROFILE_END);

    const std::string log = logAfter(kRightOpened);
    EXPECT_EQ(log.rfind("\nProfile sepecified, upload profile to position 2\r\n"
                        "\nCheck if profile is valid or not\r\n\r\nOpened. Size = 6072\r\n",
                        0),
              0u)
        << log;
    const std::string tail = "checkpoint #4\r\ncheckpoint #5\r\n\nProfile is valid\r\n\nStart upload profile\r\n"
                             "\nProfile is uploaded successfully\r\nDevice is Closed\r\ndoPfu end\n";
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), tail.size())), tail) << log;
}

TEST_F(PfuTest, ProfileUploadToSlotZeroSendsNothing)
{
    auto mouse = addMouse(MouseConfig::right());
    testimg::writeFile(path("p.zvmp"), profile(1, 10));
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 0, path("p.zvmp")), ZENTROVA_PFU_PROFILE_UPLOADED);
    EXPECT_EQ(requestCodes(*mouse), std::vector<int>{ZENTROVA_CTRL_REQUEST_ID});
}

TEST_F(PfuTest, ProfilesFailingValidationAreNotSent)
{
    auto mouse = addMouse(MouseConfig::right());
    testimg::ProfileImage badCrc;
    badCrc.badCrc = true;
    testimg::writeFile(path("bad.zvmp"), badCrc.bytes());
    struct Case {
        std::string file;
        std::string lines;
    };
    for (const Case& c : {Case{"bad.zvmp", "\r\ncrc error\r\n\r\nCannot read profile file\r\n"},
                          Case{"absent.zvmp", "\r\nFile not found\r\n"}}) {
        clearPfuLog();
        EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 1, path(c.file)), ZENTROVA_PFU_PROFILE_INVALID);
        const std::string log = pfuLog();
        EXPECT_NE(log.find(c.lines + "\nProfile is invalid\r\nDevice is Closed\r\ndoPfu end\n"), std::string::npos)
            << log;
    }
    EXPECT_EQ(requestCodes(*mouse), (std::vector<int>{ZENTROVA_CTRL_REQUEST_ID, ZENTROVA_CTRL_REQUEST_ID}));
    EXPECT_TRUE(mouse->state().slots.empty());
}

// Faults count the mouse's vendor requests from 1: ID 1, status 2, reset 3,
// status 4, start 5, status 6, chunk 7, status 8, chunk 9, status 10, end 11.
TEST_F(PfuTest, DeviceFailuresDuringAnUploadBecomeResultCodes)
{
    struct Case {
        const char* name;
        MouseFaults faults;
        uint32_t slotLimit;
        int result;
        std::string line;
    };
    MouseFaults statusError, unplug, stall, none;
    statusError.statusErrorAfter = 7;
    unplug.unplugAt = 9;
    stall.stallAt = 9;
    const std::vector<Case> cases = {
        {"status 2 after a chunk", statusError, 65536, ZENTROVA_PFU_DEVICE_ERROR,
         "\nERROR (Zentrova:) communication error\n"},
        {"slot too small", none, 6071, ZENTROVA_PFU_DEVICE_ERROR, "\nERROR (Zentrova:) profile too large\n"},
        {"unplugged mid-upload", unplug, 65536, ZENTROVA_PFU_USB_ERROR,
         "\nERROR: (USB) no such device (it may have been disconnected)\n"},
        {"chunk stalled", stall, 65536, ZENTROVA_PFU_USB_ERROR, "\nERROR: (USB) stall\n"},
    };
    const Bytes image = profile(3, 2000); // 6072 bytes
    testimg::writeFile(path("p.zvmp"), image);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MouseConfig config = MouseConfig::right();
        config.faults = c.faults;
        config.slotLimits = {c.slotLimit};
        config.serialNumber = c.name; // a fresh mouse per case
        auto mouse = addMouse(config);
        clearPfuLog();
        const int result = pfu(R, ZENTROVA_PFU_OP_UPLOAD_PROFILE, 1, path("p.zvmp"));
        testbed->unplug(*mouse); // out of the way of the next case
        EXPECT_EQ(result, c.result);
        const std::string log = pfuLog();
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), c.line.size() + 10)), c.line + "doPfu end\n") << log;
        EXPECT_EQ(log.find("Device is Closed"), std::string::npos);
        EXPECT_TRUE(mouse->state().slots.empty());
    }
}

Bytes firmware(uint16_t version2 = 0x0100, size_t dataSize = 8192)
{
    std::array<uint8_t, 32> key{};
    key[0] = 0x5A;
    return dfu_encode_image(key, "ZENTROVA", 0x0205, version2, {{0x08004000, testimg::pattern(dataSize, 9)}});
}

TEST_F(PfuTest, FirmwareUpdateSendsTheWholeImage)
{
    auto mouse = addMouse(MouseConfig::left());
    const Bytes image = firmware(); // 8260 bytes: three chunks
    testimg::writeFile(path("fw.dfu"), image);
    EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_FIRMWARE, 0, path("fw.dfu")), ZENTROVA_PFU_FIRMWARE_SENT);
    EXPECT_TRUE(mouse->state().firmwareReceived);
    EXPECT_EQ(mouse->state().firmware, image);
    EXPECT_EQ(requestCodes(*mouse),
              (std::vector<int>{ZENTROVA_CTRL_REQUEST_ID, ZENTROVA_CTRL_REQUEST_RESET, ZENTROVA_CTRL_REQUEST_DFU_START,
                                ZENTROVA_CTRL_REQUEST_DFU_UPLOAD, ZENTROVA_CTRL_REQUEST_DFU_UPLOAD,
                                ZENTROVA_CTRL_REQUEST_DFU_UPLOAD, ZENTROVA_CTRL_REQUEST_DFU_END}));
    EXPECT_EQ(logAfter("Device is opened\r\n"), "Device is Closed\r\ndoPfu end\n");
}

TEST_F(PfuTest, FirmwareFailingTheHeaderChecksIsNotSent)
{
    auto mouse = addMouse(MouseConfig::left());
    const Bytes good = firmware();
    const auto resealed = [](Bytes b) {
        testimg::putLe32(b, 0, testimg::zcrc(b.data() + 4, b.size() - 4));
        return b;
    };
    Bytes badCrc = good, payload = good, badTag = good, longer = good, v1 = good, v2 = good;
    badCrc[0] ^= 1;
    payload.back() ^= 0x80; // the CRC covers the whole file
    badTag[4] = 'X';
    longer.push_back(0);
    testimg::putLe16(v1, 12, 0x012A);
    testimg::putLe16(v2, 14, 0x01A0);
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"crc", badCrc},
        {"payload", payload},
        {"tag", resealed(badTag)},
        {"length", resealed(longer)},
        {"version1 digit", resealed(v1)},
        {"version2 digit", resealed(v2)},
        {"version2 0x0101", firmware(0x0101)},
        {"19 bytes", Bytes(good.begin(), good.begin() + 19)}, // exact size: ASan sees any overread
        {"empty", Bytes()},
    };
    for (const auto& [name, bytes] : cases) {
        clearPfuLog();
        testimg::writeFile(path("fw.dfu"), bytes);
        EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_FIRMWARE, 0, path("fw.dfu")), ZENTROVA_PFU_FIRMWARE_INVALID) << name;
        EXPECT_EQ(logAfter("Device is opened\r\n"), "Device is Closed\r\ndoPfu end\n") << name;
    }
    for (int code : requestCodes(*mouse))
        EXPECT_EQ(code, ZENTROVA_CTRL_REQUEST_ID);
    EXPECT_FALSE(mouse->state().firmwareReceived);
}

TEST_F(PfuTest, MissingFirmwareFileIsAFileError)
{
    auto mouse = addMouse(MouseConfig::left());
    EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_FIRMWARE, 0, path("absent.dfu")), ZENTROVA_PFU_FILE_ERROR);
    EXPECT_EQ(logAfter("Device is opened\r\n"), "\nERROR: No such file or directory\ndoPfu end\n");
    EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_FIRMWARE, 0, ""), ZENTROVA_PFU_FILE_ERROR); // null path
}

TEST_F(PfuTest, FirmwareLargerThanTheDeviceTakes)
{
    MouseConfig c = MouseConfig::left();
    c.dfuMaxSize = static_cast<uint32_t>(firmware().size() - 1); // one byte short
    auto mouse = addMouse(c);
    testimg::writeFile(path("fw.dfu"), firmware());
    EXPECT_EQ(pfu(L, ZENTROVA_PFU_OP_FIRMWARE, 0, path("fw.dfu")), ZENTROVA_PFU_DEVICE_ERROR);
    EXPECT_EQ(logAfter("Device is opened\r\n"), "\nERROR (Zentrova:) DFU image too large\ndoPfu end\n");
}

TEST_F(PfuTest, LedEffectsSendTheirRecordAndProgram)
{
    auto mouse = addMouse(MouseConfig::right());
    using Record = std::array<uint8_t, 16>;
    struct Case {
        int effect, brightness, speed;
        Record record;
        unsigned ledProgram;
        std::string lines; // after the color line
    };
    const unsigned color = 0x102030FF; // red 0x10, green 0x20, blue 0x30
    const std::vector<Case> cases = {
        {ZENTROVA_LED_STATIC, 200, 3, {0x10, 0x20, 0x30, 200, 200, 0xA0}, 1,
         "Led program is static\r\nLed brightness is 200\r\nLed speed is 3\r\n"},
        {ZENTROVA_LED_BREATHING, 255, 0, {0x10, 0x20, 0x30, 0, 255, 0x01, 10}, 1,
         "Led program is breathing\r\nLed brightness is 255\r\nLed speed is 0\r\nLed cycle is 10\r\n"},
        {ZENTROVA_LED_BREATHING, 100, 56, {0x10, 0x20, 0x30, 0, 100, 0x01, 20}, 1,
         "Led program is breathing\r\nLed brightness is 100\r\nLed speed is 56\r\nLed cycle is 20\r\n"},
        {ZENTROVA_LED_BREATHING, 0, 0, {0x10, 0x20, 0x30, 0, 0, 0x01, 0}, 1,
         "Led program is breathing\r\nLed brightness is 0\r\nLed speed is 0\r\nLed cycle is 0\r\n"},
        {ZENTROVA_LED_RAINBOW, 80, 0, {0xFF, 80, 51}, 2,
         "Led program is rainbow\r\nLed brightness is 80\r\nLed speed is 0\r\n"},
        {ZENTROVA_LED_OFF, 80, 0, {0, 0, 0, 0, 0, 0xE8}, 1,
         "Led program is none, led off\r\nLed brightness is 80\r\nLed speed is 0\r\n"},
    };
    for (const Case& c : cases) {
        clearPfuLog();
        mouse->clearTranscript();
        EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_LED, 0, "", color, c.effect, c.brightness, c.speed), ZENTROVA_PFU_LED_DONE);
        const MouseState s = mouse->state();
        EXPECT_EQ(s.ledParams, c.record) << c.lines;
        EXPECT_EQ(s.ledProgram, c.ledProgram) << c.lines;
        EXPECT_EQ(logAfter("Device is opened\r\n"),
                  "Led color is 0x301020(brg)\r\n" + c.lines + "Device is Closed\r\ndoPfu end\n");
    }
    // An unknown effect logs its settings and sends nothing.
    clearPfuLog();
    mouse->clearTranscript();
    EXPECT_EQ(pfu(R, ZENTROVA_PFU_OP_LED, 0, "", color, 5, 9, 8), ZENTROVA_PFU_LED_DONE);
    EXPECT_EQ(requestCodes(*mouse), std::vector<int>{ZENTROVA_CTRL_REQUEST_ID});
    EXPECT_EQ(logAfter("Device is opened\r\n"),
              "Led color is 0x301020(brg)\r\nLed brightness is 9\r\nLed speed is 8\r\nDevice is Closed\r\ndoPfu end\n");
}

TEST_F(PfuTest, ProgramsSlotsAndPollingRate)
{
    auto mouse = addMouse(MouseConfig::right());
    struct Case {
        int operation, value, program, result;
        std::string line;
        std::vector<int> sent; // after the ID request
    };
    const std::vector<Case> cases = {
        {ZENTROVA_PFU_OP_RUN_PROGRAM, 0, 7, 0x70, "Simulate button program(7) running\r\n",
         {ZENTROVA_CTRL_REQUEST_RESET, ZENTROVA_CTRL_REQUEST_RUN_PROGRAM}},
        {ZENTROVA_PFU_OP_RUN_PROGRAM, 0, 65, 0x70, "Simulate button program(65) running\r\n", {}},
        {ZENTROVA_PFU_OP_ACTIVATE_PROFILE, 3, 0, 0, "\nActivate the profile 3\r\n",
         {ZENTROVA_CTRL_REQUEST_RESET, ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE}},
        {ZENTROVA_PFU_OP_ACTIVATE_PROFILE, 0, 0, 0, "\nActivate the profile 0\r\n", {}},
        {ZENTROVA_PFU_OP_POLLING_RATE, 0x104, 0, 0, "\nSet polling rate260\r\n",
         {ZENTROVA_CTRL_REQUEST_RESET, ZENTROVA_CTRL_REQUEST_POLLING_RATE}},
    };
    for (const Case& c : cases) {
        clearPfuLog();
        mouse->clearTranscript();
        EXPECT_EQ(pfu(R, c.operation, c.value, "", 0, 0, 0, 0, c.program), c.result) << c.line;
        EXPECT_EQ(logAfter("Device is opened\r\n"), c.line + "Device is Closed\r\ndoPfu end\n");
        std::vector<int> expected = {ZENTROVA_CTRL_REQUEST_ID};
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        EXPECT_EQ(requestCodes(*mouse), expected) << c.line;
    }
    const MouseState s = mouse->state();
    EXPECT_EQ(s.lastProgram, 7);
    EXPECT_EQ(s.activeSlot, 3u);
    EXPECT_EQ(s.pollingRate, 4u); // the low 8 bits of 0x104
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

} // namespace
