// The zentrova command's compile, inspect, profiles and dfu commands, run as a
// separate process the way a user or a script runs them.
#include <cstring>
#include <filesystem>
#include <iterator>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/JsonHas.h"
#include "support/ProfileImage.h"
#include "support/RunTool.h"
#include "zentrova/integrity/dfu_image_writer.h"
#include "zentrova/profile/pfg.h"
#include "zentrova/version.h"

namespace fs = std::filesystem;

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
        EXPECT_EQ(r.out, "zentrova " + version + " (libzentrova " + version + ")\n") << option;
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
          "  macro body, started by index 10\n", "  binds: key, a, down\n    0000  43 04", "key_press a\n",
          "repeater_start repeater=0 program=65"}},
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

// The messages of every kind of damage are ProfileImage's (see its tests);
// here how inspect reports one.
TEST_F(ToolTest, InspectRefusesDamagedImages)
{
    testimg::ProfileImage img = crafted();
    img.trailing = {0x00, 0x5b};
    testimg::writeFile(dir.path("bad.zvmp"), img.bytes());
    const RunResult r = run({"inspect", "bad.zvmp"});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zentrova inspect: bad.zvmp: invalid profile image: 2 bytes of trailing data after the last of "
                     "the 5 programs\n");
    const RunResult missing = run({"inspect", "missing.zvmp"});
    EXPECT_EQ(missing.status, 8);
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

// Failures (status 1), command-line errors (2) and invalid files (8) say what
// is wrong and leave an existing image alone.
TEST_F(ToolTest, FailuresAndCommandLineErrorsKeepTheExistingImage)
{
    write("good.json", profileJson("a"));
    write("badkey.json", profileJson("nosuchkey"));
    write("warn.json", profileJson("a + b"));
    write("out.zvmp", "previous image");
    const std::string C = "compile", R = "--hand", o = "-o", out = "out.zvmp";
    const struct { std::vector<std::string> args; int status; std::string message; } cases[] = {
        {{C, "none.json", R, "right", "-p", "P", o, out}, 8, "cannot open the profile file none.json: No such file"},
        {{C, "good.json", R, "right", "-p", "P", o, "./good.json"}, 2, "the image ./good.json is the profile file"},
        {{C, "/dev/zero", R, "right", "-p", "P", o, out}, 8, "does not parse"},
        {{C, "good.json", R, "right", "-p", "P", o, "good.json/x"}, 1, "cannot write good.json/x: Not a directory"},
        {{C, "good.json", R, "right", "-p", "Q", o, out}, 8, "good.json has no profile 'Q' for the right hand"},
        {{C, "good.json", R, "left", "-p", "P", o, out}, 8, "good.json has no \"Left Mouse\" entry"},
        {{C, "badkey.json", R, "right", "-p", "P", o, out}, 8, "find key with description 'nosuchkey' failed"},
        {{C, "good.json", R, "right", "-p", std::string(31, 'n'), o, out}, 8, "is longer than 30 characters"},
        {{C, "warn.json", R, "right", "-p", "P", o, out, "--strict"}, 8, "1 warning, 0 infos while compiling profile "
                                                                         "'P' with --strict; no image written"},
        {{"lint", "badkey.json", "--hand", "up"}, 2, "zentrova lint: --hand: up not in {right,left}"},
        {{C, "x.json", "-p", "P", o, out}, 2, "zentrova compile: --hand is required"},
        {{C, "x.json", R, "up", "-p", "P", o, out}, 2, "--hand: up not in {right,left}"},
        {{C, "x.json", R, "left", o, out}, 2, "--profile is required"},
        {{C, R, "left", "-p", "P", o, out}, 2, "PROFILE.json is required"},
        {{"inspect"}, 2, "IMAGE is required"},
        {{"inspect", "a", "b"}, 2, "not expected: b"},
        {{"nosuchcommand"}, 2, "unknown command 'nosuchcommand'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(dir.text("out.zvmp"), "previous image");
    }
    EXPECT_EQ(entries(), 6); // the inputs and the untouched image
    const RunResult lint = run({"lint", "badkey.json"});
    EXPECT_EQ(lint.status, 8);
    EXPECT_NE(lint.out.find("badkey.json:5:51: error: find key with description 'nosuchkey' failed [at "
                            "/testData/0/profiles/0/_key_data/0/action_data]\n"),
              std::string::npos)
        << lint.out;

    const RunResult ok = run({"compile", "good.json", "--hand", "right", "-p", "P", "-o", "out.zvmp"});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "compiled profile 'P' (right hand) of good.json into out.zvmp: 2 programs, 72 bytes\n");
    const RunResult verbose = run({"compile", "good.json", "--hand", "right", "-p", "P", "-o", "v.zvmp", "-v"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_NE(verbose.out.find("profile_name: P\n"), std::string::npos) << verbose.out;
    EXPECT_NE(verbose.out.find("Writing program count 2\n"), std::string::npos) << verbose.out;
}

// Every command's --help, and "zentrova help COMMAND", against its file in
// golden/ ("dfu-pack.txt" is "zentrova dfu pack --help"; "zentrova.txt" is
// "zentrova --help"). ZENTROVA_UPDATE_GOLDEN=1 rewrites the files instead.
TEST_F(ToolTest, HelpOfEveryCommandMatchesItsGoldenFile)
{
    const fs::path golden = fs::path(ZENTROVA_SOURCE_DIR) / "tests/tool/golden";
    const RunResult top = run({"--help"});
    std::vector<std::string> names = {"zentrova", "dfu-pack", "dfu-verify"};
    std::istringstream lines(top.out.substr(top.out.find("\ncommands:\n") + 11));
    for (std::string line; std::getline(lines, line) && !line.empty();)
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    EXPECT_EQ(names.size(), 20u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::vector<std::string> words;
        std::istringstream split(name == "zentrova" ? "" : name);
        for (std::string w; std::getline(split, w, '-');)
            words.push_back(w);
        std::vector<std::string> viaFlag = words, viaHelp = words;
        viaFlag.push_back("--help");
        viaHelp.insert(viaHelp.begin(), "help");
        const RunResult r = run(viaFlag);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(run(viaHelp).out, r.out);
        const fs::path file = golden / (name + ".txt");
        if (std::getenv("ZENTROVA_UPDATE_GOLDEN"))
            std::ofstream(file) << r.out;
        std::ifstream in(file);
        EXPECT_EQ(r.out, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
}

// --json of the file commands, field by field.
TEST_F(ToolTest, JsonShapesOfTheFileCommands)
{
    testimg::ProfileImage img = crafted();
    img.name = "Cr\xe9";
    testimg::writeFile(dir.path("a.zvmp"), img.bytes());
    write("p.json", profileJson("a"));
    write("bad.json", profileJson("nosuchkey"));
    const testimg::Bytes bytes = img.bytes();
    const uint32_t crc = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24;
    const std::string version = std::string("\"") + ZENTROVA_VERSION_STRING + "\"";
    const struct { std::vector<std::string> args; int status; std::string has; } cases[] = {
        // The name's byte that is no UTF-8 is replaced; a program without callers has no "startedBy".
        {{"inspect", "a.zvmp", "--json"}, 0,
         R"({"file": "a.zvmp", "size": 99, "name": "Cr\ufffd", "nameTerminated": true, "version": 0,
             "dpi": [800, 1600, 0, 3200, 0, 6400], "freeformDpi": 2000, "deadZone": 1000, "crc": )" +
             std::to_string(crc) + R"(, "loaderProblem": "",
             "programs": [{"index": 6, "input": "button 3 (configurator button 15) press", "code": "4304",
                           "disassembly": ["0000  43 04                          key_press a"], "replaced": false,
                           "binding": {"event": "press", "kind": "key", "text": "key, a, down", "key": "a"},
                           "startedBy": null},
                          {}, {}, {"startedBy": [10]}, {}]})"},
        {{"profiles", "p.json", "--json"}, 0, R"({"file": "p.json", "profiles": [{"hand": "right", "name": "P"}]})"},
        {{"lint", "bad.json", "--json"}, 8,
         R"({"file": "bad.json", "profilesChecked": 1, "errors": 1, "warnings": 0,
             "diagnostics": [{"severity": "error", "message": "find key with description 'nosuchkey' failed",
                              "line": 5, "column": 51, "path": "/testData/0/profiles/0/_key_data/0/action_data"}]})"},
        {{"about", "--json"}, 0,
         R"({"tool": )" + version + R"(, "library": )" + version +
             R"(, "versionTag": "Zentrova Tool", "versionNumber": 1000})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(jsonHas(r.out, c.has));
    }
    // Errors: standard error and the exit code, nothing on standard output.
    const RunResult bad = run({"inspect", "p.json", "--json"});
    EXPECT_EQ(bad.status, 8);
    EXPECT_EQ(bad.out, "");
}

// "-o -": the image on standard output, the summary on standard error.
TEST_F(ToolTest, OutputToStandardOutput)
{
    write("p.json", profileJson("a"));
    const RunResult r = run({"compile", "p.json", "--hand=right", "--profile=P", "-o", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, reference(dir.path("p.json"), true, "P"));
    EXPECT_EQ(r.err, "compiled profile 'P' (right hand) of p.json into standard output: 2 programs, 72 bytes\n");
    EXPECT_EQ(entries(), 3);
    const std::string tool = ZENTROVA_TOOL_PATH;
    const RunResult piped = runIn(dir, {"/bin/sh", "-c", tool + " compile p.json --hand right -p P -o - | " + tool +
                                                             " inspect /dev/stdin"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.rfind("profile image /dev/stdin (72 bytes)\n", 0), 0u) << piped.out;
}

// "zentrova dfu pack" then "zentrova dfu verify".
class DfuTool : public ToolTest {
protected:
    void SetUp() override
    {
        write("key.hex", "000102030405060708090a0b0c0d0e0f\n101112131415161718191A1B1C1D1E1F\n");
        write("other.hex", std::string(64, '7'));
        write("a.bin", std::string(a.begin(), a.end()));
        write("b.bin", std::string(b.begin(), b.end()));
    }

    // The tool with the words of `args`.
    RunResult zentrova(const std::string& args) const
    {
        std::vector<std::string> argv;
        std::istringstream words(args);
        for (std::string word; words >> word;)
            argv.push_back(word);
        return run(argv);
    }

    const testimg::Bytes a = testimg::Bytes(100, 0xA5), b = testimg::Bytes(64, 0x5A); // a: padded to 112 bytes with 0xFF
};

const char* const kPack = "dfu pack --key key.hex -o fw.dfu --version1 0123 --pad 0x08004000:a.bin 0x08010000:b.bin";

// The key comes from hex text with a line break and both cases, the version2
// default is 0100, --pad fills with 0xFF; without --salt the salt is random.
TEST_F(DfuTool, PackWritesTheWritersImage)
{
    const RunResult piped = zentrova(std::string(kPack).replace(std::string(kPack).find("fw.dfu"), 6, "-"));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out.size(), 260u); // the image and nothing else
    EXPECT_EQ(piped.err, "standard output: 260 bytes, 2 segments, version1 0123, version2 0100\n");
    std::array<uint8_t, 32> key;
    std::iota(key.begin(), key.end(), 0);
    const std::array<uint8_t, 16> salt = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    testimg::Bytes paddedA = a;
    paddedA.resize(112, 0xFF);
    const RunResult pack = zentrova(kPack + std::string(" --salt 00112233445566778899aabbccddeeff"));
    ASSERT_EQ(pack.status, 0) << pack.err;
    const testimg::Bytes salted = testimg::readFile(dir.path("fw.dfu"));
    EXPECT_EQ(salted,
              dfu_encode_image(key, "ZENTROVA", 0x0123, 0x0100, {{0x08004000, paddedA}, {0x08010000, b}}, salt));
    ASSERT_EQ(zentrova(kPack).status, 0);
    EXPECT_NE(testimg::readFile(dir.path("fw.dfu")), salted);
}

// The decoder's own refusals are tested with it; here each option reaches it.
TEST_F(DfuTool, VerifyAcceptsListsAndRefuses)
{
    ASSERT_EQ(zentrova(kPack).status, 0);
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex").out, "fw.dfu: valid, version1 1.23, version2 1.00\n");
    const RunResult listed = zentrova("dfu verify --key key.hex --region 0x08004000:0xC040 --chunk 48 --list fw.dfu");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "0x08004000 48\n0x08004030 48\n0x08004060 16\n0x08010000 48\n0x08010030 16\n"
                          "fw.dfu: valid, version1 1.23, version2 1.00\n");
    EXPECT_TRUE(jsonHas(zentrova("dfu verify --key=key.hex --chunk=48 --json fw.dfu").out,
                        R"({"file": "fw.dfu", "valid": true, "tag": "ZENTROVA", "version1": "1.23", "version2": "1.00",
                            "size": 260, "chunks": [{}, {}, {}, {"address": 134283264}, {"size": 16}]})"));
    for (const char* args : {
             "dfu verify fw.dfu --key other.hex",
             "dfu verify fw.dfu --key key.hex --region 0x08004000:0xC03F", // one byte short
             "dfu verify fw.dfu --key key.hex --tag ZENTROVB",
         }) {
        const RunResult run = zentrova(args);
        EXPECT_EQ(run.status, 8) << args;
        EXPECT_EQ(run.err, "zentrova dfu verify: fw.dfu: invalid image\n") << args;
    }
    // Header refusals say why; like the firmware update, no trailing bytes.
    std::ofstream(dir.path("fw.dfu"), std::ios::app) << "xy";
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex").err,
              "zentrova dfu verify: fw.dfu: invalid image: 2 trailing byte(s) behind the payload\n");
    write("fw.dfu", std::string(19, 'x'));
    EXPECT_EQ(zentrova("dfu verify fw.dfu --key key.hex").err,
              "zentrova dfu verify: fw.dfu: invalid image: 19 bytes cannot hold the 20-byte header\n");
}

TEST_F(DfuTool, BadCommandLinesFailWithoutWriting)
{
    for (const char* args : {
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x08004000:a.bin",   // 100 bytes, no --pad
             "dfu pack --key key.hex -o fw.dfu --version1 01A3 --pad 0x1000:b.bin", // not BCD
             "dfu pack --key a.bin -o fw.dfu --version1 0123 0x1000:b.bin",         // key file not hex
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x1000:missing.bin",
             "dfu pack --key key.hex -o fw.dfu --version1 0123 4096b.bin",         // no ADDRESS:
             "dfu pack --key key.hex -o fw.dfu --version1 0123 0x100000000:b.bin", // address beyond 32 bits
         }) {
        EXPECT_NE(zentrova(args).status, 0) << args;
        EXPECT_FALSE(std::ifstream(dir.path("fw.dfu"))) << args;
    }
    ASSERT_EQ(zentrova(kPack).status, 0);
    for (const char* args : {"dfu verify fw.dfu --key key.hex --chunk 24",
                             "dfu verify fw.dfu --key key.hex --region 0x1000"})
        EXPECT_NE(zentrova(args).status, 0) << args;
}

} // namespace
