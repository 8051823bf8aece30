// The mouse's control protocol, checked request by request on the
// simulated mouse through the real libusb.
#include <sys/stat.h>

#include <chrono>
#include <functional>

#include "device_protocol/ProtocolFixture.h"

using zentrova::sim::MouseConfig;
using zentrova::sim::MouseFaults;

TEST_F(ProtocolTest, EachCommandIsFramedByResetAndHandshakesAndNoOpsSendNothing)
{
    std::vector<uint8_t> params = pattern(16);
    const struct {
        const char* name;
        std::function<void(ZentrovaDriver&)> call;
        std::vector<Req> sent;
    } table[] = {
        {"removeProfile(3)", [](auto& d) { d.removeProfile(3); }, framed(out(ZENTROVA_CTRL_REQUEST_PROFILE_REMOVE, 3))},
        {"activeProfile(2)", [](auto& d) { d.activeProfile(2); }, framed(out(ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE, 2))},
        {"setPollingRate(4)", [](auto& d) { d.setPollingRate(4); }, framed(out(ZENTROVA_CTRL_REQUEST_POLLING_RATE, 4))},
        {"runLedProgram(5)", [](auto& d) { d.runLedProgram(5); }, framed(out(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, 5))},
        {"stopLedProgram()", [](auto& d) { d.stopLedProgram(); }, framed(out(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, 0))},
        {"runProgram(0)", [](auto& d) { d.runProgram(0); }, framed(out(ZENTROVA_CTRL_REQUEST_RUN_PROGRAM, 0))},
        {"runProgram(64)", [](auto& d) { d.runProgram(64); }, framed(out(ZENTROVA_CTRL_REQUEST_RUN_PROGRAM, 64))},
        {"updateLedColor(0x44332211)", [](auto& d) { d.updateLedColor(0x44332211); },
         framed(out(ZENTROVA_CTRL_REQUEST_LED_COLOR, 0xFFFF, {0x11, 0x22, 0x33}))},
        {"setLedParams", [&](auto& d) { d.setLedParams(params.data()); },
         framed(out(ZENTROVA_CTRL_REQUEST_LED_PARAMS, 0, params))},
        // Zero arguments and programs beyond 64 send nothing at all.
        {"removeProfile(0)", [](auto& d) { d.removeProfile(0); }, {}},
        {"activeProfile(0)", [](auto& d) { d.activeProfile(0); }, {}},
        {"setPollingRate(0)", [](auto& d) { d.setPollingRate(0); }, {}},
        {"runLedProgram(0)", [](auto& d) { d.runLedProgram(0); }, {}},
        {"runProgram(65)", [](auto& d) { d.runProgram(65); }, {}},
        {"uploadProfile(0, null, 5)", [](auto& d) { d.uploadProfile(0, nullptr, 5); }, {}},
    };
    for (const auto& row : table) {
        mouse->clearTranscript();
        row.call(*driver);
        EXPECT_EQ(requests(), row.sent) << row.name;
    }
    EXPECT_EQ(driverLog(), ""); // these commands log nothing
}

class LeftMouseTest : public ProtocolTest {
    MouseConfig mouseConfig() override
    {
        MouseConfig c = MouseConfig::left();
        c.mouseId = 0xC8; // shows the byte travels unchanged
        return c;
    }
};

TEST_F(LeftMouseTest, MouseIdIsReadWithoutResetAndLogged)
{
    EXPECT_EQ(driver->getMouseId(), 0xC8);
    EXPECT_EQ(requests(), (std::vector<Req>{in(ZENTROVA_CTRL_REQUEST_ID, 0, 1), status()}));
    EXPECT_EQ(driverLog(), "getMouseId() ZENTROVA_CTRL_REQUEST_ID 200\r\n");
}

// --- the status handshake ---------------------------------------------------

TEST_F(ProtocolTest, BusyAnswersArePolledAgainAfterAShortGrowingPause)
{
    inject(&MouseFaults::busyPolls, 3);
    const auto start = std::chrono::steady_clock::now();
    driver->activeProfile(1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2 * (1 + 2 + 4)));
    EXPECT_EQ(statusPolls(), 8u); // busy three times then done: four status transfers per handshake
    EXPECT_EQ(mouse->state().activeSlot, 1u);
}

TEST_F(ProtocolTest, StatusErrorStopsAtThatHandshakeAndIsLoggedOnce)
{
    const Req activate = out(ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE, 1);
    const struct {
        unsigned after;
        std::vector<Req> sent;
    } table[] = {
        {1, {reset(), status()}}, // after the reset: the command is never sent
        {3, framed(activate)},    // the command's own handshake
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.after);
        inject(&MouseFaults::statusErrorAfter, row.after);
        const std::string before = driverLog();
        EXPECT_EQ(failureOf<ZentrovaException>([&] { driver->activeProfile(1); }), "communication error");
        EXPECT_EQ(requests(), row.sent);
        EXPECT_EQ(driverLog().substr(before.size()), "checkStatus() Communiation error\r\n");
    }
    // The next command starts afresh with its own reset.
    inject(nullptr);
    driver->activeProfile(1);
    EXPECT_EQ(requests(), framed(activate));
}

// A status answer must be whole and a value the firmware defines: anything
// else fails the command there. (Which cause each fault at each request of an
// operation ends in: the fault matrix.)
TEST_F(ProtocolTest, ShortOrUndefinedStatusIsAnError)
{
    const struct { unsigned MouseFaults::*fault; const char* error; } table[] = {
        {&MouseFaults::shortAnswerAt, "short transfer: 0 of 1 bytes"},
        {&MouseFaults::badStatusAt, "undefined status 0x5A"},
    };
    for (const auto& row : table) {
        inject(row.fault, 2);
        EXPECT_EQ(failureOf<ZentrovaException>([&] { driver->activeProfile(1); }), row.error);
        EXPECT_EQ(requests().size(), 2u); // the command is not sent
    }
    EXPECT_EQ(mouse->state().activeSlot, 0u);
}

TEST_F(ProtocolTest, ADeviceStuckAtBusyFailsAsATimeoutAfterTheBound)
{
    inject(&MouseFaults::busyPolls, MouseFaults::BUSY_FOREVER);
    driver->setStatusBound(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<UsbException>([&] { driver->activeProfile(1); }), "timeout");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    // Polled at most every 10 ms meanwhile (flat out it would be hundreds of
    // times), and the command itself was never sent.
    EXPECT_GT(statusPolls(), 5u);
    EXPECT_LT(statusPolls(), 40u);
    EXPECT_EQ(requests().size(), statusPolls() + 1); // and the reset
    EXPECT_EQ(driverLog(), "");
}

// Each handshake stays within its bound, but the upload as a whole may take
// only three bounds and a fiftieth of one per chunk: 600 + 16 * 4 ms here.
TEST_F(ProtocolTest, AnOperationEndsAtItsOverallDeadline)
{
    inject(&MouseFaults::busyPolls, 8); // at least 1 + 2 + 4 + 8 + 4 * 10 = 55 ms per handshake
    driver->setStatusBound(200);
    const std::vector<uint8_t> image = pattern(16 * 4096); // 16 chunks: 19 handshakes, over 1 s
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<UsbException>([&] { driver->uploadProfile(1, image.data(), image.size()); }), "timeout");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(664));
    size_t chunks = 0;
    for (const Req& r : requests())
        chunks += std::get<1>(r) == ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD;
    EXPECT_GE(chunks, 2u); // several handshakes passed on their own
    EXPECT_LT(chunks, 16u);
}

// --- failures as the caller meets them ---------------------------------------

TEST_F(ProtocolTest, MisuseThrowsInsteadOfCrashing)
{
    EXPECT_EQ(failureOf<UsbException>([&] { driver->setLedParams(nullptr); }), "invalid parameter");
    EXPECT_EQ(failureOf<UsbException>([&] { driver->uploadProfile(1, nullptr, 10); }), "invalid parameter");
    EXPECT_EQ(failureOf<UsbException>([&] { driver->updateFirmware(nullptr, 10); }), "invalid parameter");
    EXPECT_TRUE(requests().empty());

    driver->close();
    EXPECT_EQ(failureOf<UsbException>([&] { driver->activeProfile(1); }),
              "no such device (it may have been disconnected)");
}

TEST_F(SimTest, WithoutALogFileTheDriverStillWorks)
{
    ASSERT_EQ(mkdir("driver.log", 0755), 0); // a directory in the way: the log cannot be opened
    auto mouse = addMouse();
    MouseFaults f;
    f.statusErrorAfter = 2;
    mouse->setFaults(f);
    ZentrovaDriver driver;
    driver.rightMouse = true;
    openOnly(driver);
    EXPECT_EQ(driver.getMouseId(), 0);                       // logs
    EXPECT_THROW(driver.activeProfile(1), ZentrovaException); // logs the error
    const unsigned char image[10] = {};
    driver.uploadProfile(1, image, sizeof image);
    driver.updateFirmware(image, sizeof image);
}

// The simulated mouse spells the protocol out on its own; the library's
// numbers must match the firmware's, request by request.
TEST(ProtocolNumbers, LibraryConstantsMatchTheFirmwareTable)
{
    namespace fw = zentrova::sim::protocol;
    const std::pair<uint8_t, fw::Request> requests[] = {
        {ZENTROVA_CTRL_REQUEST_RESET, fw::kReset},
        {ZENTROVA_CTRL_REQUEST_STATUS, fw::kStatus},
        {ZENTROVA_CTRL_REQUEST_DFU_START, fw::kDfuStart},
        {ZENTROVA_CTRL_REQUEST_DFU_UPLOAD, fw::kDfuUpload},
        {ZENTROVA_CTRL_REQUEST_DFU_END, fw::kDfuEnd},
        {ZENTROVA_CTRL_REQUEST_PROFILE_START, fw::kProfileStart},
        {ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD, fw::kProfileUpload},
        {ZENTROVA_CTRL_REQUEST_PROFILE_END, fw::kProfileEnd},
        {ZENTROVA_CTRL_REQUEST_PROFILE_REMOVE, fw::kProfileRemove},
        {ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE, fw::kProfileActivate},
        {ZENTROVA_CTRL_REQUEST_LED_COLOR, fw::kLedColor},
        {ZENTROVA_CTRL_REQUEST_LED_PROGRAM, fw::kLedProgram},
        {ZENTROVA_CTRL_REQUEST_RUN_PROGRAM, fw::kRunProgram},
        {ZENTROVA_CTRL_REQUEST_LED_PARAMS, fw::kLedParams},
        {ZENTROVA_CTRL_REQUEST_ID, fw::kMouseId},
        {ZENTROVA_CTRL_REQUEST_POLLING_RATE, fw::kPollingRate},
    };
    ASSERT_EQ(std::size(requests), std::size(fw::kRequests));
    for (const auto& [library, firmware] : requests)
        EXPECT_EQ(library, firmware) << fw::requestName(firmware);
    EXPECT_EQ(ZENTROVA_VENDOR_ID, fw::kVendorId);
    EXPECT_EQ(ZENTROVA_PRODUCT_ID_RIGHT, fw::kProductRight);
    EXPECT_EQ(ZENTROVA_PRODUCT_ID_LEFT, fw::kProductLeft);
    EXPECT_EQ(ZENTROVA_MOUSE_ID_RIGHT, fw::kMouseIdRight);
    EXPECT_EQ(ZENTROVA_MOUSE_ID_LEFT, fw::kMouseIdLeft);
    EXPECT_EQ(ZENTROVA_STATUS_BUSY, fw::kStatusBusy);
    EXPECT_EQ(ZENTROVA_STATUS_ERROR, fw::kStatusError);
}
