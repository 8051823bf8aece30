// The device commands of the zentrova tool, run as separate processes under
// zentrova-sim the way a user runs them: what they print, their exit status,
// and what the simulated mouse holds afterwards (the launcher's report).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/ProfileImage.h"
#include "device/TempDir.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

struct Result {
    int status = -1;
    std::string out, err, report;
};

class ToolDeviceTest : public ::testing::Test {
protected:
    // zentrova-sim SIM_OPTIONS --report FILE -- zentrova ARGS, in the test's directory.
    Result run(const std::vector<std::string>& simOptions, const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {ZENTROVA_SIM_PATH};
        argv.insert(argv.end(), simOptions.begin(), simOptions.end());
        argv.insert(argv.end(), {"--report", dir.path(".report"), "--", ZENTROVA_TOOL_PATH});
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(dir.path(".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(dir.path(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.root().c_str()) != 0)
                _exit(127);
            std::vector<char*> raw;
            for (auto& a : argv)
                raw.push_back(const_cast<char*>(a.c_str()));
            raw.push_back(nullptr);
            execv(raw[0], raw.data());
            _exit(127);
        }
        Result r;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            r.status = WEXITSTATUS(status);
        r.out = dir.text(".stdout");
        r.err = dir.text(".stderr");
        r.report = dir.text(".report");
        return r;
    }

    TempDir dir;
};

TEST_F(ToolDeviceTest, CommandsChangeWhatTheMouseHolds)
{
    testimg::ProfileImage img;
    img.name = "Tool";
    img.programs = {{1, testimg::pattern(40, 1)}};
    testimg::writeFile(dir.path("p.zvmp"), img.bytes());
    std::array<uint8_t, 32> key{};
    testimg::writeFile(dir.path("fw.dfu"),
                       dfu_encode_image(key, "ZENTROVA", 0x0300, 0x0100, {{0x1000, testimg::pattern(64, 2)}}));

    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string held; // a line of the mouse's report
    };
    const std::vector<Case> cases = {
        {{"check", "--hand", "right"}, "check: done\n", "vendor requests: 2,"},
        {{"upload", "p.zvmp", "--slot", "3", "--hand", "right"}, "upload: profile uploaded\n",
         "    slot 3: 104 bytes, name \"Tool\"\n"},
        {{"activate", "--slot", "4", "--hand", "right"}, "activate: done\n", "  active slot: 4\n"},
        {{"led", "--effect", "static", "--color", "102030", "--brightness", "200", "--hand", "right"},
         "led: LED effect set\n", "  LED parameters: 10 20 30 c8 c8 a0 00 00 00 00 00 00 00 00 00 00\n"},
        {{"led", "--effect", "rainbow", "--speed", "0", "--brightness", "9", "--hand", "right"},
         "led: LED effect set\n", "  LED parameters: ff 09 33 00"},
        {{"run", "--program", "7", "--hand", "right"}, "run: program started\n", "  last program run: 7\n"},
        {{"polling", "--rate", "4", "--hand", "right"}, "polling: done\n", "  polling rate: code 4\n"},
        {{"firmware", "fw.dfu", "--hand", "right"}, "firmware: firmware image sent\n",
         "  firmware image received: 132 bytes\n"},
        {{"version", "--hand", "right"}, "1.23\n", "vendor requests: 0,"},
    };
    for (const Case& c : cases) {
        const Result r = run({"--right"}, c.args);
        EXPECT_EQ(r.status, 0) << c.args[0] << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_NE(r.report.find(c.held), std::string::npos) << c.args[0] << ":\n" << r.report;
    }
}

TEST_F(ToolDeviceTest, ListShowsTheMiceOfBothHands)
{
    const Result r = run({"--left", "--firmware", "2.05", "--right"}, {"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("left   7a51:0003"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ZV-L-0001        firmware 2.05"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("right  7a51:0002"), std::string::npos) << r.out;
    EXPECT_EQ(run({"--right"}, {"version", "--hand", "left"}).status, 1);
}

TEST_F(ToolDeviceTest, FailuresSayWhatWentWrongAndExitNonZero)
{
    testimg::ProfileImage bad;
    bad.badCrc = true;
    testimg::writeFile(dir.path("bad.zvmp"), bad.bytes());
    struct Case {
        std::vector<std::string> sim, args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--right"}, {"check", "--hand", "left"}, 1, "no mouse of that hand is attached (result 2)"},
        {{"--right", "--mouse-id", "1"}, {"check", "--hand", "right"}, 1, "(result 255)"},
        {{"--right"}, {"upload", "bad.zvmp", "--slot", "1", "--hand", "right"}, 1, "not a valid profile image (result 34)"},
        {{"--right"}, {"firmware", "absent.dfu", "--hand", "right"}, 1, "(result 82)"},
        {{"--right", "--status-error-after", "3"}, {"activate", "--slot", "1", "--hand", "right"}, 1,
         "the mouse reported an error (result 80)"},
        {{"--right"}, {"version", "--hand", "left"}, 1, "no left-hand mouse found"},
        {{"--right"}, {"led", "--effect", "sparkle", "--hand", "right"}, 2, "sparkle"},
        {{"--right"}, {"led", "--effect", "static", "--color", "12345", "--hand", "right"}, 2, "--color"},
        {{"--right"}, {"upload", "p.zvmp", "--hand", "right"}, 2, "--slot"},
        {{"--right"}, {"activate", "--slot", "1"}, 2, "--hand"},
        {{"--right"}, {"run", "--program", "65", "--hand", "right"}, 2, "--program"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.sim, c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args[0] << ":\n" << r.err;
    }
}

} // namespace
