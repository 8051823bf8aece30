// The mouse's control protocol, checked request by request on the
// simulated mouse through the real libusb.
#include <sys/stat.h>

#include <chrono>
#include <functional>

#include "device_protocol/ProtocolFixture.h"

using zentrova::sim::MouseConfig;
using zentrova::sim::MouseFaults;

namespace {

template <typename E>
std::string failureOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

} // namespace

TEST_F(ProtocolTest, EachCommandIsFramedByResetAndHandshakes)
{
    std::vector<uint8_t> params(16);
    for (size_t i = 0; i < params.size(); ++i)
        params[i] = static_cast<uint8_t>(0xA0 + i);
    const struct {
        const char* name;
        std::function<void(ZentrovaDriver&)> call;
        Req command;
    } table[] = {
        {"removeProfile(3)", [](auto& d) { d.removeProfile(3); }, out(ZENTROVA_CTRL_REQUEST_PROFILE_REMOVE, 3)},
        {"activeProfile(2)", [](auto& d) { d.activeProfile(2); }, out(ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE, 2)},
        {"setPollingRate(4)", [](auto& d) { d.setPollingRate(4); }, out(ZENTROVA_CTRL_REQUEST_POLLING_RATE, 4)},
        {"runLedProgram(5)", [](auto& d) { d.runLedProgram(5); }, out(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, 5)},
        {"runLedProgram(255)", [](auto& d) { d.runLedProgram(255); }, out(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, 255)},
        {"stopLedProgram()", [](auto& d) { d.stopLedProgram(); }, out(ZENTROVA_CTRL_REQUEST_LED_PROGRAM, 0)},
        {"runProgram(0)", [](auto& d) { d.runProgram(0); }, out(ZENTROVA_CTRL_REQUEST_RUN_PROGRAM, 0)},
        {"runProgram(64)", [](auto& d) { d.runProgram(64); }, out(ZENTROVA_CTRL_REQUEST_RUN_PROGRAM, 64)},
        {"updateLedColor(0x44332211)", [](auto& d) { d.updateLedColor(0x44332211); },
         out(ZENTROVA_CTRL_REQUEST_LED_COLOR, 0xFFFF, {0x11, 0x22, 0x33})},
        {"setLedParams", [&](auto& d) { d.setLedParams(params.data()); },
         out(ZENTROVA_CTRL_REQUEST_LED_PARAMS, 0, params)},
    };
    for (const auto& row : table) {
        mouse->clearTranscript();
        row.call(*driver);
        EXPECT_EQ(requests(), framed(row.command)) << row.name;
    }
    // The mouse took them in.
    const auto s = mouse->state();
    EXPECT_EQ(s.activeSlot, 2u);
    EXPECT_EQ(s.pollingRate, 4u);
    EXPECT_EQ(s.lastProgram, 64);
    EXPECT_EQ(s.ledProgram, 0u);
    EXPECT_EQ(s.ledColor, (std::array<uint8_t, 3>{0x11, 0x22, 0x33}));
    EXPECT_TRUE(std::equal(params.begin(), params.end(), s.ledParams.begin()));
    EXPECT_EQ(driverLog(), ""); // these commands log nothing
}

TEST_F(ProtocolTest, ZeroArgumentsSendNothingAtAll)
{
    const unsigned char image[8] = {};
    const struct {
        const char* name;
        std::function<void(ZentrovaDriver&)> call;
    } table[] = {
        {"removeProfile(0)", [](auto& d) { d.removeProfile(0); }},
        {"activeProfile(0)", [](auto& d) { d.activeProfile(0); }},
        {"setPollingRate(0)", [](auto& d) { d.setPollingRate(0); }},
        {"runLedProgram(0)", [](auto& d) { d.runLedProgram(0); }},
        {"runProgram(65)", [](auto& d) { d.runProgram(65); }},
        {"runProgram(255)", [](auto& d) { d.runProgram(255); }},
        {"uploadProfile(0, ...)", [&](auto& d) { d.uploadProfile(0, image, sizeof image); }},
        {"uploadProfile(0, null, 5)", [](auto& d) { d.uploadProfile(0, nullptr, 5); }},
    };
    for (const auto& row : table) {
        row.call(*driver);
        EXPECT_TRUE(requests().empty()) << row.name;
    }
    EXPECT_EQ(driverLog(), "");
}

TEST_F(ProtocolTest, MouseIdIsReadWithoutResetAndLogged)
{
    EXPECT_EQ(driver->getMouseId(), 0);
    EXPECT_EQ(requests(), (std::vector<Req>{in(ZENTROVA_CTRL_REQUEST_ID, 0, 1), status()}));
    EXPECT_EQ(driverLog(), "getMouseId() ZENTROVA_CTRL_REQUEST_ID 0\r\n");
}

class LeftMouseTest : public ProtocolTest {
    MouseConfig mouseConfig() override
    {
        MouseConfig c = MouseConfig::left();
        c.mouseId = 0xC8; // shows the byte travels unchanged
        return c;
    }
};

TEST_F(LeftMouseTest, FindAsksForTheLeftProductAndIdComesFromTheMouse)
{
    EXPECT_EQ(driver->getMouseId(), 0xC8);
    EXPECT_EQ(driverLog(), "getMouseId() ZENTROVA_CTRL_REQUEST_ID 200\r\n");
    driver->close();
    std::vector<UsbDeviceInfo> devices;
    driver->rightMouse = true;
    driver->find(devices);
    EXPECT_TRUE(devices.empty()); // no right-hand mouse attached
    driver->rightMouse = false;
    driver->find(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vid, 0x7A51);
    EXPECT_EQ(devices[0].pid, 3);
}

// --- the status handshake ---------------------------------------------------

TEST_F(ProtocolTest, BusyAnswersArePolledAgainAtOnce)
{
    MouseFaults f;
    f.busyPolls = 3;
    mouse->setFaults(f);
    driver->activeProfile(1);
    // busy three times then done: four status transfers per handshake
    EXPECT_EQ(statusPolls(), 8u);
    EXPECT_EQ(mouse->state().activeSlot, 1u);

    mouse->clearTranscript();
    EXPECT_EQ(driver->getMouseId(), 0);
    EXPECT_EQ(statusPolls(), 4u);
}

TEST_F(ProtocolTest, StatusErrorAfterResetStopsBeforeTheCommand)
{
    MouseFaults f;
    f.statusErrorAfter = 1; // the status poll after the reset answers 2
    mouse->setFaults(f);
    EXPECT_EQ(failureOf<ZentrovaException>([&] { driver->activeProfile(1); }), "communication error");
    EXPECT_EQ(requests(), (std::vector<Req>{reset(), status()}));
    EXPECT_EQ(driverLog(), "checkStatus() Communiation error\r\n");
    EXPECT_EQ(mouse->state().activeSlot, 0u);

    // The next command starts afresh with its own reset.
    mouse->clearTranscript();
    mouse->setFaults({});
    driver->activeProfile(1);
    EXPECT_EQ(requests(), framed(out(ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE, 1)));
}

TEST_F(ProtocolTest, StatusErrorAfterTheCommand)
{
    MouseFaults f;
    f.statusErrorAfter = 3; // the command's own handshake
    mouse->setFaults(f);
    EXPECT_EQ(failureOf<ZentrovaException>([&] { driver->setPollingRate(2); }), "communication error");
    EXPECT_EQ(requests(), framed(out(ZENTROVA_CTRL_REQUEST_POLLING_RATE, 2)));
}

TEST_F(ProtocolTest, ADeviceStuckAtBusyFailsAsATimeoutAfterTheBound)
{
    MouseFaults f;
    f.busyPolls = MouseFaults::BUSY_FOREVER;
    mouse->setFaults(f);
    driver->setStatusBound(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<UsbException>([&] { driver->activeProfile(1); }), "timeout");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    // Polled without delay meanwhile (a transfer takes about half a ms), and
    // the command itself was never sent.
    EXPECT_GT(statusPolls(), 20u);
    for (const auto& r : requests())
        EXPECT_NE(r.request, ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE);
    EXPECT_EQ(driverLog(), "");
}

// --- failures as the caller meets them ---------------------------------------

TEST_F(ProtocolTest, StallAndSilenceAreUsbErrorsAndLogNothing)
{
    MouseFaults f;
    f.stallAt = 3; // the command
    mouse->setFaults(f);
    EXPECT_EQ(failureOf<UsbException>([&] { driver->removeProfile(1); }), "stall");
    EXPECT_EQ(requests().size(), 3u);

    mouse->clearTranscript();
    f = {};
    f.noAnswerAt = 1; // the reset is never answered: libusb's 1000 ms timeout
    mouse->setFaults(f);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<UsbException>([&] { driver->removeProfile(1); }), "timeout");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(requests(), (std::vector<Req>{reset()}));
    EXPECT_EQ(driverLog(), "");

    // The device answers again afterwards.
    mouse->setFaults({});
    EXPECT_EQ(driver->getMouseId(), 0);
}

TEST_F(ProtocolTest, UnpluggedMouseReportsNoDevice)
{
    MouseFaults f;
    f.unplugAt = 2;
    mouse->setFaults(f);
    const std::string gone = "no such device (it may have been disconnected)";
    EXPECT_EQ(failureOf<UsbException>([&] { driver->activeProfile(1); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { driver->getMouseId(); }), gone);
    driver->close();
    std::vector<UsbDeviceInfo> devices;
    driver->find(devices);
    EXPECT_TRUE(devices.empty());
}

TEST_F(ProtocolTest, MisuseThrowsInsteadOfCrashing)
{
    EXPECT_EQ(failureOf<UsbException>([&] { driver->setLedParams(nullptr); }), "invalid parameter");
    EXPECT_EQ(failureOf<UsbException>([&] { driver->uploadProfile(1, nullptr, 10); }), "invalid parameter");
    EXPECT_EQ(failureOf<UsbException>([&] { driver->updateFirmware(nullptr, 10); }), "invalid parameter");
    EXPECT_TRUE(requests().empty());

    driver->close();
    const std::string gone = "no such device (it may have been disconnected)";
    EXPECT_EQ(failureOf<UsbException>([&] { driver->getMouseId(); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { driver->activeProfile(1); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { driver->checkStatus(); }), gone);
}

TEST_F(SimTest, WithoutALogFileTheDriverStillWorks)
{
    // A directory in the way: "driver.log" cannot be opened.
    ASSERT_EQ(mkdir("driver.log", 0755), 0);
    auto mouse = addMouse();
    MouseFaults f;
    f.statusErrorAfter = 2;
    mouse->setFaults(f);
    ZentrovaDriver driver;
    driver.rightMouse = true;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    ASSERT_EQ(devices.size(), 1u);
    driver.open(devices[0]);
    EXPECT_EQ(driver.getMouseId(), 0); // logs
    EXPECT_THROW(driver.activeProfile(1), ZentrovaException); // logs the error
    const unsigned char image[10] = {};
    driver.uploadProfile(1, image, sizeof image);
    driver.updateFirmware(image, sizeof image);
}

TEST(ZentrovaExceptionCopy, EachCopyOwnsItsText)
{
    auto original = std::make_unique<ZentrovaException>("profile too large");
    ZentrovaException copy(*original);
    ZentrovaException assigned("x");
    assigned = *original;
    original.reset();
    EXPECT_STREQ(copy.what(), "profile too large");
    EXPECT_STREQ(assigned.what(), "profile too large");
    ZentrovaException moved(std::move(copy));
    EXPECT_STREQ(moved.what(), "profile too large");
    EXPECT_STREQ(ZentrovaException(nullptr).what(), "");
}
