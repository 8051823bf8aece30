// The device commands of the zentrova tool, run as processes under zentrova-sim
// the way a user runs them: what they print, their exit status, and what the
// simulated mouse holds afterwards (the launcher's report). The transfers and
// pfu.log behind each command are the doPfu tests' business.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProfileImage.h"
#include "support/RunTool.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

struct Case {
    std::vector<std::string> sim, args;
    int status;
    std::string out, held; // out: all of stdout on success, a piece of stderr otherwise; held: a piece of the report
};

std::vector<std::string> right(std::vector<std::string> args)
{
    args.insert(args.end(), {"--hand", "right"});
    return args;
}

TEST(ToolDeviceCommands, OutputExitStatusAndWhatTheMouseHolds)
{
    TempDir dir;
    testimg::ProfileImage img;
    img.name = "Tool";
    img.programs = {{1, testimg::pattern(40, 1)}};
    testimg::writeFile(dir.path("p.zvmp"), img.bytes());
    img.badCrc = true;
    testimg::writeFile(dir.path("bad.zvmp"), img.bytes());
    testimg::writeFile(dir.path("fw.dfu"), dfu_encode_image(std::array<uint8_t, 32>{}, "ZENTROVA", 0x0300, 0x0100,
                                                            {{0x1000, testimg::pattern(64, 2)}}));
    const std::vector<std::string> R = {"--right"};
    const std::vector<Case> cases = {
        {R, right({"check"}), 0, "check: done\n", "vendor requests: 2,"},
        {R, right({"upload", "p.zvmp", "--slot", "3"}), 0, "upload: profile uploaded\n",
         "    slot 3: 104 bytes, name \"Tool\"\n"},
        {R, right({"activate", "--slot", "4"}), 0, "activate: done\n", "  active slot: 4\n"},
        {R, right({"led", "--effect", "static", "--color", "102030", "--brightness", "200"}), 0,
         "led: LED effect set\n",
         "  LED parameters: 10 20 30 c8 c8 a0 00 00 00 00 00 00 00 00 00 00\n"},
        {R, right({"run", "--program", "7"}), 0, "run: program started\n", "  last program run: 7\n"},
        {R, right({"polling", "--rate", "4"}), 0, "polling: done\n", "  polling rate: code 4\n"},
        {R, right({"firmware", "fw.dfu"}), 0, "firmware: firmware image sent\n",
         "  firmware image received: 132 bytes\n"},
        {R, right({"version"}), 0, "1.23\n", "vendor requests: 0,"},
        {{"--right", "--serial", "A", "--right", "--serial", "B", "--firmware", "2.05"},
         right({"version", "--serial", "B"}), 0, "2.05\n", ""},
        {{"--left", "--firmware", "2.05", "--right"}, {"list"}, 0,
         "left   7a51:0003  Zentrova             Zentrova Mouse (left hand) ZV-L-0001        firmware 2.05\n"
         "right  7a51:0002  Zentrova             Zentrova Mouse (right hand) ZV-R-0001        firmware 1.23\n", ""},
        {R, {"check", "--hand", "left"}, 1, "failed: no left-hand mouse is attached", ""},
        {R, right({"upload", "bad.zvmp", "--slot", "1"}), 1, "failed: bad.zvmp: not a valid profile image", ""},
        {{"--right", "--unplug-at", "3"}, right({"activate", "--slot", "4"}), 1, "failed: the mouse was disconnected",
         ""},
        {R, {"version", "--hand", "left"}, 1, "failed: no left-hand mouse is attached", ""},
        // Command-line errors.
        {R, right({"led", "--effect", "sparkle"}), 2, "sparkle", ""},
        {R, right({"led", "--effect", "static", "--color", "12345"}), 2, "--color", ""},
        {R, {"activate", "--slot", "1"}, 2, "--hand", ""},
        {R, right({"run", "--program", "65"}), 2, "--program", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        std::vector<std::string> argv = {ZENTROVA_SIM_PATH};
        argv.insert(argv.end(), c.sim.begin(), c.sim.end());
        argv.insert(argv.end(), {"--report", dir.path(".report"), "--", ZENTROVA_TOOL_PATH});
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult r = runIn(dir, argv);
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
TEST(ToolDeviceCommands, TwoProcessesUploadingToOneMouseTakeTurns)
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

} // namespace
