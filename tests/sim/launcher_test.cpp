// zentrova-sim runs an unmodified program against simulated mice and
// reports what they hold afterwards.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

struct Outcome {
    int status;
    std::string output, report; // output: the program's standard output and error
};

// Runs ENV zentrova-sim OPTIONS -- COMMAND in a fresh temporary directory.
Outcome run(const std::string& options, const std::string& command, const std::string& env = "")
{
    TempDir dir;
    const std::string line = "cd '" + dir.dir + "' && " + env + " '" + ZENTROVA_SIM_LAUNCHER + "' " + options +
                             " --report '" + dir.path("report.txt") + "' -- " + command + " > out.txt 2>&1";
    const int rc = std::system(line.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, dir.text("out.txt"), dir.text("report.txt")};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(Launcher, ReportsWhatTheProgramLeftOnTheMouse)
{
    const Outcome r = run("--left --right --firmware 2.05", ZENTROVA_SIM_CLIENT);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "mouse id 0\nok\n")) << r.output;
    // The left mouse comes first and was not touched.
    const size_t second = r.report.find("mouse 2: right hand, 7a51:0002, mouse ID 0, firmware 2.05");
    ASSERT_NE(second, std::string::npos) << r.report;
    EXPECT_TRUE(contains(r.report.substr(0, second), "mouse 1: left hand, 7a51:0003, mouse ID 1, firmware 1.23\n"
                                                     "  profile slots (8): all empty\n"));
    const std::string right = r.report.substr(second);
    for (const char* line : {"    slot 3: 5000 bytes, name \"Launcher Test\"\n", "  active slot: 3\n",
                             "  LED color: cc bb aa (0xaabbcc)\n", "  LED effect: program 4\n",
                             "  LED parameters: not set\n", "  polling rate: code 2\n", "  last program run: 7\n",
                             "  firmware image received: 10000 bytes\n"})
        EXPECT_TRUE(contains(right, line)) << "missing: " << line << "in:\n" << right;
}

TEST(Launcher, FaultsReachTheProgram)
{
    const struct {
        const char *options, *output, *report;
    } cases[] = {
        {"--right --unplug-at 3", "failed: no such device (it may have been disconnected)", "(unplugged)"},
        {"--right --slot-size 3=4999", "failed: profile too large", ""},
        {"--right --status-error-after 1", "failed: communication error", "status errors answered: 1"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.options, ZENTROVA_SIM_CLIENT);
        EXPECT_EQ(r.status, 4) << c.options;
        EXPECT_TRUE(contains(r.output, c.output)) << r.output;
        EXPECT_TRUE(contains(r.report, c.report)) << r.report;
    }
}

TEST(Launcher, PassesTheUsersPreloadAndExitStatusToTheProgram)
{
    // An instrumented launcher must accept a preload ahead of its sanitizer runtime.
    const Outcome r = run("--quiet", "sh -c 'echo \"[$LD_PRELOAD]\"; exit 9'",
                          "LD_PRELOAD=libz.so.1 ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\"");
    EXPECT_EQ(r.status, 9);
    EXPECT_TRUE(contains(r.output, "[libumockdev-preload.so.0:libz.so.1]")) << r.output;
}

TEST(Launcher, RejectsBadOptions)
{
    for (const char* options : {"--bogus", "--firmware 1.2.3", "--slots 0", "--slot-size 9=10", "--busy x"})
        EXPECT_EQ(run(options, "true").status, 2) << options;
    EXPECT_EQ(run("--quiet", "").status, 2); // no command
}
