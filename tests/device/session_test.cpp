// The C++ device API through its installed headers against simulated mice:
// each cause a Result can name, and the progress of an upload.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <utility>

#include "support/Permissions.h"
#include "support/ProfileImage.h"
#include "support/SimFixture.h"
#include "zentrova/device/Session.h"
#include "zentrova/integrity/dfu_image_writer.h"

using namespace zentrova;
using sim::MouseConfig;

namespace {

using testsupport::overridePermissions;

std::vector<uint8_t> profileImage(size_t programBytes, bool badCrc = false)
{
    testimg::ProfileImage img;
    img.programs = {{1, testimg::pattern(programBytes, 1)}};
    img.badCrc = badCrc;
    return img.bytes();
}

const std::vector<uint8_t> kFirmware =
    dfu_encode_image(std::array<uint8_t, 32>{}, "ZENTROVA", 0x0300, 0x0100, {{0x1000, testimg::pattern(9008, 2)}});

class SessionTest : public SimTest {};

TEST_F(SessionTest, EachOutcomeNamesItsCause)
{
    const Selector any, left{Hand::Left, std::nullopt};
    const auto activate = [](Session& s) { return s.activateProfile(3); };
    MouseConfig wrongId = MouseConfig::left();
    wrongId.mouseId = 0; // the right-hand ID
    using Op = std::function<Result(Session&)>;
    // Faults in the middle of an operation: the fault matrix.
    const struct { const char* name; std::vector<MouseConfig> mice; Selector select; Op op; Cause cause; } rows[] = {
        {"done", {MouseConfig::right()}, any, activate, Cause::Done},
        {"check", {MouseConfig::left()}, left, [](Session& s) { return s.check(); }, Cause::Done},
        {"slot 0", {MouseConfig::right()}, any, [](Session& s) { return s.activateProfile(0); }, Cause::NothingToDo},
        {"program 65", {MouseConfig::right()}, any, [](Session& s) { return s.runProgram(65); }, Cause::NothingToDo},
        {"brightness 256", {MouseConfig::right()}, any, [](Session& s) { return s.setLed({0xFF, 2, 256, 0}); },
         Cause::NothingToDo},
        {"speed -1", {MouseConfig::right()}, any, [](Session& s) { return s.setLed({0xFF, 1, 0, -1}); },
         Cause::NothingToDo},
        {"rate 0", {MouseConfig::right()}, any, [](Session& s) { return s.setPollingRate(0); }, Cause::NothingToDo},
        {"upload to slot 0", {MouseConfig::right()}, any,
         [](Session& s) { return s.uploadProfile(0, profileImage(10)); }, Cause::NothingToDo},
        {"no mouse", {}, any, nullptr, Cause::NoMouse},
        {"no left mouse", {MouseConfig::right()}, left, nullptr, Cause::NoMouse},
        {"two mice", {MouseConfig::right(), MouseConfig::left()}, any, nullptr, Cause::SeveralMice},
        {"by serial", {MouseConfig::right(), MouseConfig::left()}, Selector{std::nullopt, "ZV-L-0001"},
         [](Session& s) { return s.mouse().hand == Hand::Left ? s.check() : Result{Cause::Unexpected, "", ""}; },
         Cause::Done},
        {"wrong ID", {wrongId}, any, [](Session& s) { return s.check(); }, Cause::DeviceError},
        {"bad CRC", {MouseConfig::right()}, any,
         [](Session& s) { return s.uploadProfile(1, profileImage(10, true)); }, Cause::InvalidFile},
        {"more code than the loader holds", {MouseConfig::right()}, any,
         [](Session& s) { return s.uploadProfile(1, profileImage(6889)); }, Cause::InvalidFile},
        {"a byte behind the last record", {MouseConfig::right()}, any,
         [](Session& s) {
             testimg::ProfileImage img; // CRC over the trailing byte too
             img.programs = {{1, testimg::pattern(10, 1)}};
             img.trailing = {0};
             return s.uploadProfile(1, img.bytes());
         },
         Cause::InvalidFile},
        {"bad DFU", {MouseConfig::right()}, any,
         [](Session& s) { return s.updateFirmware(std::vector<uint8_t>(kFirmware.begin(), kFirmware.end() - 1)); },
         Cause::InvalidFile},
        {"absent file", {MouseConfig::right()}, any,
         [](Session& s) { return s.uploadProfileFile(1, "absent.zvmp"); }, Cause::UnreadableFile},
        {"directory", {MouseConfig::right()}, any, [](Session& s) { return s.updateFirmwareFile("."); },
         Cause::UnreadableFile},
        {"endless profile file", {MouseConfig::right()}, any,
         [](Session& s) { return s.uploadProfileFile(1, "/dev/zero"); }, Cause::InvalidFile},
        {"endless firmware file", {MouseConfig::right()}, any,
         [](Session& s) { return s.updateFirmwareFile("/dev/zero"); }, Cause::InvalidFile},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::shared_ptr<sim::MouseModel>> mice;
        for (const MouseConfig& c : row.mice)
            mice.push_back(addMouse(c));
        SessionOptions options;
        options.busyBoundMs = 50;
        Session session;
        Result r = Session::open(row.select, session, options);
        if (r && row.op)
            r = row.op(session);
        EXPECT_EQ(r.cause, row.cause) << causeName(r.cause) << ": " << r.message;
        EXPECT_EQ(r.ok(), row.cause == Cause::Done || row.cause == Cause::NothingToDo);
        if (row.cause == Cause::NothingToDo) {
            EXPECT_TRUE(mice[0]->vendorTranscript().empty());
        }
        if (std::string(row.name) == "done") {
            EXPECT_EQ(mice[0]->state().activeSlot, 3u);
        }
        if (row.cause == Cause::SeveralMice) {
            EXPECT_NE(r.message.find("ZV-L-0001"), std::string::npos) << r.message;
        }
        session.close();
        for (auto& m : mice)
            testbed->unplug(*m);
    }
    EXPECT_TRUE(std::filesystem::is_empty(workDir)) << "no log file unless asked for";
}

TEST_F(SessionTest, UploadsReportProgressChunkByChunkAndLogOnlyWhereAsked)
{
    auto mouse = addMouse(MouseConfig::right());
    SessionOptions options;
    options.driverLog = workDir + "/protocol.log";
    Session session;
    ASSERT_TRUE(Session::open(Selector{}, session, options));
    EXPECT_EQ(session.firmwareVersion(), "1.23");
    const std::vector<uint8_t> image = profileImage(6888); // all the loader has room for: two chunks
    for (const auto& upload : std::vector<std::function<Result(const Progress&)>>{
             [&](const Progress& p) { return session.uploadProfile(2, image, p); },
             [&](const Progress& p) { return session.updateFirmware(kFirmware, p); }}) {
        std::vector<std::pair<size_t, size_t>> calls;
        ASSERT_TRUE(upload([&](size_t sent, size_t total) { calls.emplace_back(sent, total); }));
        ASSERT_GE(calls.size(), 2u);
        ASSERT_EQ(calls.size(), (calls.back().second + 4095) / 4096);
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].first, std::min<size_t>((i + 1) * 4096, calls[i].second));
            EXPECT_EQ(calls[i].second, calls.back().first);
        }
    }
    EXPECT_EQ(mouse->state().slots.at(2), image);
    EXPECT_EQ(mouse->state().firmware, kFirmware);
    EXPECT_GT(std::filesystem::file_size(options.driverLog), 0u);
    EXPECT_FALSE(std::filesystem::exists(workDir + "/driver.log"));
}

} // namespace

namespace {

// A mouse that, at the first string request it sees, unplugs another: that
// one goes away between the listing and its probe.
class UnplugsAnother : public sim::MouseModel {
public:
    using MouseModel::MouseModel;
    std::function<void()> atFirstString;

    sim::ControlReply control(const sim::SetupPacket& s, const std::vector<uint8_t>& out) override
    {
        if (s.isStandard() && s.bRequest == 6 && s.wValue >> 8 == 3 && atFirstString)
            std::exchange(atFirstString, nullptr)();
        return MouseModel::control(s, out);
    }
};

TEST_F(SessionTest, SearchLeavesOutMiceItCannotDescribeAndNamesADeniedOne)
{
    using Kind = sim::ControlReply::Kind;
    const auto right = [](const char* serial, Kind strings = Kind::Answer) {
        MouseConfig c = MouseConfig::right();
        c.serialNumber = serial;
        c.faults.stringReads = strings;
        return c;
    };
    const Selector any, rightHand{Hand::Right, std::nullopt}, serialA{std::nullopt, "A"};
    // Mice: the first is the one to find; a denied one has its node made unreadable.
    const struct { const char* name; std::vector<MouseConfig> mice; bool denySecond, unplugEachOther;
                   Selector select; Cause opened; size_t listed; } rows[] = {
        {"a string request stalls", {right("A"), right("B", Kind::Stall)}, false, false, rightHand, Cause::Done, 1},
        {"a string request is not answered", {right("A"), right("B", Kind::NoAnswer)}, false, false, any,
         Cause::Done, 1},
        {"the only mouse goes at its string request", {right("A", Kind::Unplug)}, false, false, any, Cause::NoMouse,
         0},
        {"one goes between listing and probe", {right("A"), right("B")}, false, true, any, Cause::Done, 1},
        {"the only mouse is denied", {right("A")}, true, false, any, Cause::AccessDenied, 0},
        {"a denied mouse may be the one meant", {right("A"), right("B")}, true, false, rightHand,
         Cause::AccessDenied, 1},
        {"a denied mouse of the other hand", {right("A"), MouseConfig::left()}, true, false, rightHand, Cause::Done,
         1},
        {"a denied mouse beside the serial asked for", {right("A"), right("B")}, true, false, serialA, Cause::Done,
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::shared_ptr<UnplugsAnother>> mice;
        std::vector<sim::SimDevice> devices;
        for (const MouseConfig& c : row.mice) {
            mice.push_back(std::make_shared<UnplugsAnother>(c));
            devices.push_back(testbed->addDevice(mice.back()));
        }
        if (row.unplugEachOther) {
            mice[0]->atFirstString = [this, m = mice[1].get()] { testbed->unplug(*m); };
            mice[1]->atFirstString = [this, m = mice[0].get()] { testbed->unplug(*m); };
        }
        const std::string node = devices.back().devnode;
        if (row.denySecond) {
            ASSERT_EQ(chmod((testbed->rootDir() + node).c_str(), 0), 0);
        }
        overridePermissions(false);
        Session session;
        const Result opened = Session::open(row.select, session);
        std::vector<MouseInfo> listed(1); // emptied first, also when the listing fails
        const Result listing = listMice(listed);
        overridePermissions(true);
        EXPECT_EQ(opened.cause, row.opened) << opened.message;
        EXPECT_EQ(listed.size(), row.listed);
        EXPECT_EQ(listing.cause, row.denySecond ? Cause::AccessDenied : Cause::Done) << listing.message;
        if (!opened) {
            EXPECT_NE(opened.message.find(node), std::string::npos) << opened.message;
            EXPECT_EQ(opened.deviceNode, row.denySecond ? node : "");
        }
        if (row.denySecond) {
            EXPECT_EQ(listing.deviceNode, node);
        }
        if (opened.cause == Cause::Done) {
            EXPECT_EQ(session.mouse().serialNumber, mice[0]->unpluggedFlag() ? "B" : "A");
        }
        session.close();
        for (auto& m : mice)
            testbed->unplug(*m);
    }
}

TEST_F(SessionTest, AnOperationWaitsForTheMouseLockAndIsBusyPastTheOperationBound)
{
    const sim::SimDevice device = testbed->addDevice(std::make_shared<sim::MouseModel>(MouseConfig::right()));
    auto& mouse = static_cast<sim::MouseModel&>(*device.model);
    SessionOptions options;
    options.busyBoundMs = 50;
    Session session;
    ASSERT_TRUE(Session::open(Selector{}, session, options));
    const int other = open(device.devnode.c_str(), O_RDONLY | O_NONBLOCK); // another program's lock
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    const auto start = std::chrono::steady_clock::now();
    const Result busy = session.activateProfile(3);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(busy.cause, Cause::Busy);
    EXPECT_NE(busy.message.find("another program is using the mouse at " + device.devnode), std::string::npos)
        << busy.message;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_TRUE(mouse.vendorTranscript().empty());
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        close(other);
    });
    EXPECT_EQ(session.activateProfile(3).cause, Cause::Done) << "waits for the lock";
    release.join();
    EXPECT_EQ(mouse.state().activeSlot, 3u);
}

} // namespace
