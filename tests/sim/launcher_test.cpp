// zentrova-sim runs an unmodified program against simulated mice and
// reports what they hold afterwards.
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status;
    std::string output; // the program's standard output and error
    std::string report;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrova-sim-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // Runs ENV zentrova-sim OPTIONS -- COMMAND in the temporary directory.
    Outcome run(const std::string& options, const std::string& command, const std::string& env = "")
    {
        const std::string line = "cd '" + dir + "' && " + env + " '" + ZENTROVA_SIM_LAUNCHER + "' " + options +
                                 " --report '" + dir + "/report.txt' -- " + command + " > '" + dir +
                                 "/out.txt' 2>&1";
        const int rc = std::system(line.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir + "/out.txt"), slurp(dir + "/report.txt")};
    }

    std::string dir;
};

} // namespace

TEST_F(LauncherTest, ReportsWhatTheProgramLeftOnTheMouse)
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

TEST_F(LauncherTest, FaultsReachTheProgram)
{
    Outcome r = run("--right --unplug-at 3", ZENTROVA_SIM_CLIENT);
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(contains(r.output, "failed: no such device (it may have been disconnected)")) << r.output;
    EXPECT_TRUE(contains(r.report, "(unplugged)")) << r.report;

    r = run("--right --slot-size 3=4999", ZENTROVA_SIM_CLIENT);
    EXPECT_TRUE(contains(r.output, "failed: profile too large")) << r.output;

    r = run("--right --status-error-after 1", ZENTROVA_SIM_CLIENT);
    EXPECT_TRUE(contains(r.output, "failed: communication error")) << r.output;
    EXPECT_TRUE(contains(r.report, "status errors answered: 1")) << r.report;
}

TEST_F(LauncherTest, PassesTheUsersPreloadAndExitStatusToTheProgram)
{
    // An instrumented launcher must accept a preload ahead of its sanitizer runtime.
    const Outcome r = run("--quiet", "sh -c 'echo \"[$LD_PRELOAD]\"; exit 9'",
                          "LD_PRELOAD=libz.so.1 ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\"");
    EXPECT_EQ(r.status, 9);
    EXPECT_TRUE(contains(r.output, "[libumockdev-preload.so.0:libz.so.1]")) << r.output;
}

TEST_F(LauncherTest, RejectsBadOptions)
{
    for (const char* options : {"--bogus", "--firmware 1.2.3", "--slots 0", "--slot-size 9=10", "--busy x"})
        EXPECT_EQ(run(options, "true").status, 2) << options;
    EXPECT_EQ(run("--quiet", "").status, 2); // no command
}
