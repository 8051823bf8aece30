// The device commands of the zentrova tool, run as processes under zentrova-sim
// the way a user runs them: what they print, their exit status, and what the
// simulated mouse holds afterwards (the launcher's report). The transfers and
// pfu.log behind each command are the doPfu tests' business.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "support/JsonHas.h"
#include "support/ProfileImage.h"
#include "support/RunTool.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

struct Case {
    std::vector<std::string> sim, args;
    int status;
    std::string out, held; // out: all of stdout on success, a piece of stderr otherwise; held: a piece of the report
};

const std::string kShooter = ZENTROVA_SOURCE_DIR "/examples/profiles/shooter.json";

std::vector<std::string> right(std::vector<std::string> args)
{
    args.insert(args.end(), {"--hand", "right"});
    return args;
}

class ToolDeviceCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        testimg::ProfileImage img;
        img.name = "Tool";
        img.programs = {{1, testimg::pattern(40, 1)}};
        testimg::writeFile(dir.path("p.zvmp"), img.bytes());
        img.programs = {{1, testimg::pattern(6000, 1)}}; // two chunks
        testimg::writeFile(dir.path("big.zvmp"), img.bytes());
        img.badCrc = true;
        testimg::writeFile(dir.path("bad.zvmp"), img.bytes());
        std::ofstream(dir.path("bad.json")) << R"({"testData":[{"name":"Right Mouse","profiles":[
            {"_profile_name":"P","_dpi_data":{}}]}]})";
        testimg::writeFile(dir.path("fw.dfu"), dfu_encode_image(std::array<uint8_t, 32>{}, "ZENTROVA", 0x0300, 0x0100,
                                                                {{0x1000, testimg::pattern(64, 2)}}));
    }

    std::vector<std::string> argv(const std::vector<std::string>& sim, const std::vector<std::string>& args) const
    {
        std::vector<std::string> a = {ZENTROVA_SIM_PATH};
        a.insert(a.end(), sim.begin(), sim.end());
        a.insert(a.end(), {"--report", dir.path(".report"), "--", ZENTROVA_TOOL_PATH});
        a.insert(a.end(), args.begin(), args.end());
        return a;
    }

    TempDir dir;
};

TEST_F(ToolDeviceCommands, OutputExitStatusAndWhatTheMouseHolds)
{
    const std::vector<std::string> R = {"--right"}, both = {"--right", "--left"};
    const std::vector<Case> cases = {
        {R, right({"check"}), 0, "check: done\n", "vendor requests: 2,"},
        {R, {"upload", "p.zvmp", "--slot=3"}, 0, "upload: profile uploaded\n",
         "    slot 3: 104 bytes, name \"Tool\"\n"},
        {R, right({"activate", "--slot", "4"}), 0, "activate: done\n", "  active slot: 4\n"},
        {R, {"apply", kShooter, "-p", "Sniper", "--slot", "5", "--activate"}, 0,
         "apply: profile 'Sniper' uploaded into slot 5 and activated\n", "    slot 5: "},
        {R, {"apply", "bad.json", "-p", "P", "--slot", "5"}, 8, "while compiling profile 'P'", "slots (8): all empty"},
        {{"--left"}, {"apply", kShooter, "-p", "Sniper", "--slot", "5"}, 0, // the mouse's hand chooses the entry
         "apply: profile 'Sniper' uploaded into slot 5\n", "left hand, 7a51:0003, mouse ID 1, firmware 1.23\n"
                                                           "  profile slots (8):\n    slot 5: "},
        {R, right({"led", "--effect", "static", "--color", "102030", "--brightness", "200"}), 0,
         "led: LED effect set\n", "  LED parameters: 10 20 30 c8 c8 a0 00 00 00 00 00 00 00 00 00 00\n"},
        {R, {"run", "--program", "7"}, 0, "run: program started\n", "  last program run: 7\n"},
        {R, {"polling", "--rate", "4", "--hand=right"}, 0, "polling: done\n", "  polling rate: code 4\n"},
        {R, {"firmware", "fw.dfu", "--yes"}, 0,
         "mouse:  right-hand mouse ZV-R-0001, firmware 1.23\nimage:  fw.dfu, firmware 3.00\n"
         "firmware: firmware image sent\n",
         "  firmware image received: 132 bytes\n"},
        {R, {"version"}, 0, "1.23\n", "vendor requests: 0,"},
        {{"--right", "--serial", "A", "--right", "--serial", "B", "--firmware", "2.05"}, {"version", "--serial", "B"},
         0, "2.05\n", ""},
        {{"--left", "--firmware", "2.05", "--right", "--product", "A product name longer than the column was"},
         {"list"}, 0,
         "HAND   USB ID     MANUFACTURER  PRODUCT                                    SERIAL     FIRMWARE\n"
         "left   7a51:0003  Zentrova      Zentrova Mouse (left hand)                 ZV-L-0001  2.05\n"
         "right  7a51:0002  Zentrova      A product name longer than the column was  ZV-R-0001  1.23\n", ""},
        {R, {"list", "--hand", "left"}, 0, "HAND  USB ID  MANUFACTURER  PRODUCT  SERIAL  FIRMWARE\n", ""},
        // Each cause with its exit code.
        {R, {"check", "--hand", "left"}, 3, "failed: no left-hand mouse is attached", ""},
        {both, {"check"}, 3, "2 mice match", ""},
        {R, {"upload", "bad.zvmp", "--slot", "1"}, 8, "failed: bad.zvmp: not a valid profile image", ""},
        {R, {"upload", "none.zvmp", "--slot", "1"}, 8, "none.zvmp", ""},
        {{"--right", "--unplug-at", "3"}, {"activate", "--slot", "4"}, 5, "failed: the mouse was disconnected", ""},
        {{"--right", "--no-answer-at", "3"}, {"activate", "--slot", "4"}, 6, "did not answer in time", ""},
        {{"--right", "--stall-at", "3"}, {"activate", "--slot", "4"}, 7, "the mouse reported an error", ""},
        {{"--right", "--status-error-after", "3"}, {"activate", "--slot", "4"}, 7, "reported an error", ""},
        {{"--right", "--bad-status-at", "4"}, {"activate", "--slot", "4"}, 7, "reported an error", ""},
        // Firmware versions: the same or an older one only when asked for.
        {{"--right", "--firmware", "3.00"}, {"firmware", "fw.dfu", "-y"}, 9, "3.00 is the same as the mouse's",
         "  firmware image received: none"},
        {{"--right", "--firmware", "3.01"}, {"firmware", "fw.dfu", "-y"}, 9, "3.00 is older than the mouse's", ""},
        {{"--right", "--firmware", "10.00"}, {"firmware", "fw.dfu", "-y"}, 9, "older than", ""},
        {{"--right", "--firmware", "3.01"}, {"firmware", "fw.dfu", "-y", "--allow-older", "-q"}, 0,
         "mouse:  right-hand mouse ZV-R-0001, firmware 3.01\nimage:  fw.dfu, firmware 3.00\n"
         "firmware: firmware image sent\n", "  firmware image received: 132 bytes\n"},
        {{"--right", "--firmware", "3.00"}, {"firmware", "fw.dfu", "-y", "--force"}, 0,
         "mouse:  right-hand mouse ZV-R-0001, firmware 3.00\nimage:  fw.dfu, firmware 3.00\n"
         "firmware: firmware image sent\n", ""},
        {R, {"firmware", "p.zvmp", "-y"}, 8, "p.zvmp: not a firmware image", ""},
        // Command-line errors.
        {R, right({"led", "--effect", "sparkle"}), 2, "sparkle", ""},
        {R, right({"led", "--effect", "static", "--color", "12345"}), 2, "--color", ""},
        {R, {"activate", "--slot", "1", "--hand", "up"}, 2, "--hand", ""},
        {R, right({"run", "--program", "65"}), 2, "--program", ""},
        {R, {"firmware", "fw.dfu"}, 2, "give --yes", "  firmware image received: none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back() + " " + c.out);
        const RunResult r = runIn(dir, argv(c.sim, c.args));
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0)
            EXPECT_EQ(r.out, c.out);
        else
            EXPECT_NE(r.err.find(c.out), std::string::npos) << r.err;
        EXPECT_NE(dir.text(".report").find(c.held), std::string::npos) << dir.text(".report");
    }
}

// Two uploads to one mouse from two processes at once (each handshake slowed
// by busy answers, so that they overlap): the second waits for the first's
// lock, both report the profile uploaded, and the slot holds one of the two
// images whole (the one that came last).
TEST(ToolDeviceLock, TwoProcessesUploadingToOneMouseTakeTurns)
{
    TempDir dir;
    std::vector<std::string> held;
    for (const char* name : {"One", "Two"}) {
        testimg::ProfileImage img;
        img.name = name;
        img.programs = {{1, testimg::pattern(name[0] == 'O' ? 5000 : 6000, 1)}};
        testimg::writeFile(dir.path(name), img.bytes());
        held.push_back("slot 1: " + std::to_string(img.bytes().size()) + " bytes, name \"" + name + "\"\n");
    }
    const std::string both = "\"$0\" upload One --slot 1 --hand right & \"$0\" upload Two --slot 1 --hand right; "
                              "s=$?; wait $! && exit $s";
    for (int round = 0; round < 3; ++round) {
        const RunResult r = runIn(dir, {ZENTROVA_SIM_PATH, "--right", "--busy", "10", "--report", dir.path(".report"),
                                        "--", "/bin/sh", "-c", both, ZENTROVA_TOOL_PATH});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "upload: profile uploaded\nupload: profile uploaded\n");
        const std::string report = dir.text(".report");
        EXPECT_NE(report.find(held[0]) == std::string::npos, report.find(held[1]) == std::string::npos) << report;
    }
}

// --json: one document on standard output, checked field by field.
TEST_F(ToolDeviceCommands, JsonShapes)
{
    const std::vector<std::string> sim = {"--right", "--left", "--firmware", "2.05", "--product", "P\xff"};
    const auto json = [&](const std::vector<std::string>& args) {
        const RunResult r = runIn(dir, argv(sim, args));
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    const std::string list = json({"list", "--json"});
    EXPECT_TRUE(jsonHas(list, R"({"mice": [{"hand": "left", "vendorId": 31313, "productId": 3,
                                            "manufacturer": "Zentrova", "serialNumber": "ZV-L-0001",
                                            "firmware": "2.05"}, {"hand": "right"}]})"));
    rapidjson::Document doc;
    doc.Parse(list.c_str());
    const auto& left = doc["mice"][0];
    EXPECT_GT(left["bus"].GetInt(), 0);
    EXPECT_GT(left["address"].GetInt(), 0);
    EXPECT_EQ(std::string(left["deviceNode"].GetString()).rfind("/dev/bus/usb/", 0), 0u);
    EXPECT_TRUE(jsonHas(json({"version", "--hand", "left", "--json"}),
                        R"({"firmware": "2.05", "mouse": {"serialNumber": "ZV-L-0001"}})"));
    EXPECT_TRUE(jsonHas(json({"check", "--serial", "ZV-L-0001", "--json"}),
                        R"({"result": "done", "mouse": {"hand": "left"}})"));

    // Errors stay on standard error, with the exit code.
    const RunResult none = runIn(dir, argv({"--right"}, {"version", "--hand", "left", "--json"}));
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("no left-hand mouse"), std::string::npos);
}

// The progress bar is drawn on a terminal only; the firmware update asks
// there, and goes ahead only on "y".
TEST_F(ToolDeviceCommands, ProgressAndConfirmationOnATerminal)
{
    const std::string bar = "\rupload [##############################] 100%  6064/6064 bytes\r\n";
    const RunResult tty = runInPty(dir, argv({"--right"}, {"upload", "big.zvmp", "--slot", "2"}), "");
    EXPECT_EQ(tty.status, 0);
    EXPECT_NE(tty.out.find("\rupload [####################..........]  67%  4096/6064 bytes"), std::string::npos)
        << tty.out;
    EXPECT_NE(tty.out.find(bar), std::string::npos) << tty.out;
    const RunResult quiet = runInPty(dir, argv({"--right"}, {"upload", "big.zvmp", "--slot", "2", "--quiet"}), "");
    EXPECT_EQ(quiet.out, "upload: profile uploaded\r\n");
    const RunResult pipe = runIn(dir, argv({"--right"}, {"upload", "big.zvmp", "--slot", "2"}));
    EXPECT_EQ(pipe.err, "");

    for (const std::string answer : {"n", "y"}) {
        SCOPED_TRACE(answer);
        const RunResult r = runInPty(dir, argv({"--right"}, {"firmware", "fw.dfu"}), answer + "\n");
        EXPECT_NE(r.out.find("Replace firmware 1.23 with 3.00? [y/N] "), std::string::npos) << r.out;
        EXPECT_EQ(r.status, answer == "y" ? 0 : 9) << r.out;
        EXPECT_EQ(r.out.find("firmware [#"), answer == "y" ? r.out.find("firmware [#") : std::string::npos);
        EXPECT_NE(dir.text(".report").find(answer == "y" ? "received: 132 bytes" : "received: none"),
                  std::string::npos);
    }
}

} // namespace
