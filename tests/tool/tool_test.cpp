// The zentrova command's compile, inspect and profiles commands, run as a
// separate process the way a user or a script runs them.
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/ProfileImage.h"
#include "tool/RunTool.h"
#include "zentrova/profile/pfg.h"
#include "zentrova/version.h"

namespace fs = std::filesystem;
using testimg::Bytes;

namespace {

class ToolTest : public ::testing::Test {
protected:
    RunResult run(std::vector<std::string> args) const
    {
        args.insert(args.begin(), ZENTROVA_TOOL_PATH);
        return runIn(dir, args);
    }
    void write(const std::string& name, const std::string& content) const { std::ofstream(dir.path(name)) << content; }
    // The files in the test's directory, with the runner's .stdout and .stderr.
    long entries() const { return std::distance(fs::directory_iterator(dir.dir), fs::directory_iterator()); }

    // The image doPfg writes, made in a fresh child process (the generator keeps
    // some state from one call to the next, as a new tool process does not).
    std::string reference(const std::string& json, bool right, const std::string& profile) const
    {
        TempDir child;
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(chdir(child.dir.c_str()) != 0 || !freopen("/dev/null", "w", stdout) ||
                  doPfg(json.c_str(), right, profile.c_str(), "reference.zvmp") != 0);
        }
        int status = 0;
        const bool made = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return made ? child.text("reference.zvmp") : "no reference";
    }

    TempDir dir;
};

TEST_F(ToolTest, VersionAndAboutPrintTheBuiltVersion)
{
    const std::string version = std::to_string(ZENTROVA_VERSION_MAJOR) + "." + std::to_string(ZENTROVA_VERSION_MINOR) +
                                "." + std::to_string(ZENTROVA_VERSION_PATCH);
    EXPECT_EQ(version, ZENTROVA_VERSION_STRING);
    for (const char* option : {"--version", "-V"}) {
        const RunResult r = run({option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "zentrova " + version + "\n") << option;
    }
    const RunResult about = run({"about"});
    EXPECT_EQ(about.status, 0);
    EXPECT_EQ(about.out, "zentrova " + version + "\nlibzentrova " + version + "\nZentrova Tool 1.0.0 (0x03E8)\n");
}

TEST_F(ToolTest, CompileThenInspectEveryExampleProfile)
{
    size_t profiles = 0;
    for (const auto& e : fs::directory_iterator(fs::path(ZENTROVA_SOURCE_DIR) / "examples/profiles")) {
        const std::string json = e.path().string();
        if (e.path().extension() != ".json")
            continue;
        const RunResult listed = run({"profiles", json});
        ASSERT_EQ(listed.status, 0) << json << ": " << listed.err;
        std::istringstream lines(listed.out);
        std::string hand, name;
        while (lines >> hand && std::getline(lines >> std::ws, name)) {
            SCOPED_TRACE(json + " " + hand + " " + name);
            ++profiles;
            const RunResult compiled = run({"compile", json, "--hand", hand, "--profile", name, "-o", "out.zvmp"});
            ASSERT_EQ(compiled.status, 0) << compiled.err;
            // Exactly the image doPfg writes, and nothing else left behind (no pfg.log, no temporary file).
            EXPECT_EQ(dir.text("out.zvmp"), reference(json, hand == "right", name));
            EXPECT_EQ(entries(), 3);

            const RunResult inspected = run({"inspect", "out.zvmp"});
            ASSERT_EQ(inspected.status, 0) << inspected.err;
            EXPECT_NE(inspected.out.find("  name          \"" + name + "\""), std::string::npos);
            EXPECT_EQ(inspected.out.find(".byte"), std::string::npos) << "compiler output must disassemble cleanly";
            fs::remove(dir.path("out.zvmp"));
        }
    }
    EXPECT_GE(profiles, 5u);
}

// A crafted image: button 3 press and release, further input 50 release, and a
// macro body in shared slot 65 that the program at index 10 starts.
testimg::ProfileImage crafted()
{
    testimg::ProfileImage img;
    img.name = "Crafted";
    img.deadzone = 1000;
    const uint16_t dpi[6] = {800, 1600, 0, 3200, 0, 6400};
    std::copy(dpi, dpi + 6, img.dpi);
    img.freeform = 2000;
    img.programs = {{6, {0x43, 0x04}}, {7, {0x44, 0x04}}, {51, {0x59, 0x01}}, {65, {0x43, 0x05}},
                    {10, {0x09, 0x45, 0x00, 0x41, 0x01, 0x19, 0x00, 0x19, 0x00, 0x03, 0x00}}};
    return img;
}

TEST_F(ToolTest, InspectShowsInputsAndDisassembly)
{
    testimg::ProfileImage dup = crafted();
    dup.programs = {{6, {0x43, 0x04}}, {6, {0x43, 0x05}}, {60, {0x7f}}, {48, {}}};
    const std::vector<std::pair<testimg::ProfileImage, std::vector<const char*>>> cases = {
        {crafted(),
         {"  name          \"Crafted\"\n", "  DPI levels    0:800 1:1600 2:off 3:3200 4:off 5:6400\n",
          "  freeform DPI  2000\n", "  dead zone     1000\n", "  programs      5\n",
          "index 6  button 3 (configurator button 15) press", "index 7  button 3 (configurator button 15) release",
          "index 51  further input 50 (configurator button 24) release", "index 65  shared slot 65",
          "  macro body, started by index 10\n", "key_press a\n", "repeater_start repeater=0 program=65"}},
        {dup,
         {"(replaced by program 2/4, which has the same index)", "index 60  unassigned index 60", ".byte 0x7f",
          "index 48  further input 48", "(empty)"}},
    };
    for (const auto& [image, expected] : cases) {
        testimg::writeFile(dir.path("a.zvmp"), image.bytes());
        const RunResult r = run({"inspect", "a.zvmp"});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* line : expected)
            EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\n" << r.out;
    }
}

TEST_F(ToolTest, InspectRefusesDamagedImages)
{
    const auto with = [](auto change) {
        testimg::ProfileImage img = crafted();
        change(img);
        return img.bytes();
    };
    const auto cut = [](Bytes b, size_t size, int count) {
        b.resize(size);
        testimg::putLe(b, 56, count);
        return testimg::sealed(b);
    };
    const Bytes good = crafted().bytes();
    Bytes hugeSize = good;
    testimg::putLe(hugeSize, 62, 0xFFFF);
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {with([](auto& i) { i.magic = "ZXMP"; }), "bad magic: not a profile image (bytes 4..7 are not \"ZVMP\")"},
        {with([](auto& i) { i.version = 1; }), "unsupported version 1 (only 0 is known)"},
        {with([](auto& i) { i.badCrc = true; }), "CRC mismatch: stored 0x1b571ce5, computed 0x1b571ce4"},
        {cut(good, good.size() - 3, 5), "record 4 at offset 84: program of 11 bytes is cut short (8 bytes left)"},
        {cut(good, 62, 1), "record 0 at offset 60: record header cut short (2 bytes left)"},
        {with([](auto& i) { i.trailing = {0x00, 0x5b}; }), "2 bytes of trailing data after the last of the 5 programs"},
        {with([](auto& i) { i.programs[0].index = 81; }), "record 0 at offset 60: program index 81 is above 80"},
        {with([](auto& i) { i.programCount = 6; }), "the header announces 6 programs, the file holds 5"},
        {testimg::sealed(hugeSize), "record 0 at offset 60: program of 65535 bytes is cut short (35 bytes left)"},
        {Bytes(good.begin(), good.begin() + 10), "file of 10 bytes is shorter than the 60-byte header"},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        testimg::writeFile(dir.path("bad.zvmp"), bytes);
        const RunResult r = run({"inspect", "bad.zvmp"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "zentrova inspect: bad.zvmp: invalid profile image: " + message + "\n");
    }
    const RunResult missing = run({"inspect", "missing.zvmp"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, std::string("zentrova inspect: missing.zvmp: ") + std::strerror(ENOENT) + "\n");
}

// A one-profile configurator file for the right hand whose single binding is `binding`.
std::string profileJson(const std::string& binding)
{
    return R"({"testData":[{"name":"Right Mouse","profiles":[{"_profile_name":"P","_led_data":{},
      "_dpi_data":{"dpi0":800,"dpi1":1600,"dpi2":2400,"dpi3":3200,"dpi4":4000,"dpi5":4800,"freeform_dpi":50,
        "dpi0_ison":true,"dpi1_ison":true,"dpi2_ison":true,"dpi3_ison":true,"dpi4_ison":true,"dpi5_ison":true},
      "_control_data":{"mode":1,"freeform_center_joystick_mode":false},"_macro_data":[],
      "_key_data":[{"key_code":15,"action_type":2,"action_data":")" +
           binding + "\"}]}]}]}";
}

TEST_F(ToolTest, CompileReportsFailuresAndKeepsExistingImage)
{
    write("good.json", profileJson("a"));
    write("badkey.json", profileJson("nosuchkey"));
    write("out.zvmp", "previous image");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"none.json", "--hand", "right", "-p", "P"}, "cannot open the profile file none.json"},
        {{"good.json", "--hand", "right", "-p", "Q"}, "good.json has no profile 'Q' for the right hand"},
        {{"good.json", "--hand", "left", "-p", "P"}, "good.json has no \"Left Mouse\" entry"},
        {{"badkey.json", "--hand", "right", "-p", "P"}, "find key with description 'nosuchkey' failed"},
        {{"good.json", "--hand", "right", "-p", std::string(31, 'n')}, "[ERROR]"},
    };
    for (auto [args, message] : cases) {
        SCOPED_TRACE(message);
        args.insert(args.begin(), "compile");
        args.insert(args.end(), {"-o", "out.zvmp"});
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(dir.text("out.zvmp"), "previous image");
    }
    EXPECT_EQ(entries(), 5); // the inputs and the untouched image

    const RunResult ok = run({"compile", "good.json", "--hand", "right", "-p", "P", "-o", "out.zvmp"});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "compiled profile 'P' (right hand) of good.json into out.zvmp: 2 programs, 72 bytes\n");
    const RunResult verbose = run({"compile", "good.json", "--hand", "right", "-p", "P", "-o", "v.zvmp", "-v"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_NE(verbose.out.find("profile_name: P\n"), std::string::npos) << verbose.out;
    EXPECT_NE(verbose.out.find("Writing program count 2\n"), std::string::npos) << verbose.out;
}

TEST_F(ToolTest, CommandLineErrorsAndHelp)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"compile", "x.json", "-p", "P", "-o", "o"}, "zentrova compile: --hand: required option missing"},
        {{"compile", "x.json", "--hand", "up", "-p", "P", "-o", "o"}, "'up' is neither left nor right"},
        {{"compile", "x.json", "--hand", "left", "-o", "o"}, "-p, --profile: required option missing"},
        {{"compile", "--hand", "left", "-p", "P", "-o", "o"}, "missing PROFILE.json"},
        {{"inspect"}, "missing IMAGE"},
        {{"inspect", "a", "b"}, "invalid argument b"},
        {{"nosuchcommand"}, "unknown command 'nosuchcommand'"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    const RunResult help = run({"inspect", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_NE(help.out.find("\n\nUSAGE: zentrova inspect [options]\n"), std::string::npos);
}

} // namespace
