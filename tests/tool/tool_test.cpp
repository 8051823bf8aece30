// The zentrova command's compile, inspect and profiles commands, run as a
// separate process the way a user or a script runs them.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/integrity/crc.h"
#include "zentrova/profile/pfg.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zentrova-tool-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Runs the tool with `args` in the test's directory.
    Result run(const std::vector<std::string>& args) const
    {
        const std::string outPath = path(".stdout"), errPath = path(".stderr");
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0)
                _exit(127);
            std::vector<char*> argv{const_cast<char*>(ZENTROVA_TOOL_PATH)};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ZENTROVA_TOOL_PATH, argv.data());
            _exit(127);
        }
        Result r;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            r.status = WEXITSTATUS(status);
        r.out = readFile(outPath);
        r.err = readFile(errPath);
        unlink(outPath.c_str());
        unlink(errPath.c_str());
        return r;
    }

    // Files the test's directory holds besides the ones named.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            }
            closedir(d);
        }
        return names;
    }

    std::string dir;
};

std::vector<std::string> exampleFiles()
{
    std::vector<std::string> files;
    const std::string folder = std::string(ZENTROVA_SOURCE_DIR) + "/examples/profiles";
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0)
                files.push_back(folder + "/" + name);
        }
        closedir(d);
    }
    return files;
}

// doPfg in a fresh child process (the generator keeps some state from one
// call to the next, as a new tool process does not), in `dir`.
std::string generateReference(const std::string& dir, const std::string& json, int rightHand,
                              const std::string& profile)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || chdir(dir.c_str()) != 0)
            _exit(1);
        doPfg(json.c_str(), rightHand, profile.c_str(), "reference.zvmp");
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "";
    const std::string image = readFile(dir + "/reference.zvmp");
    unlink((dir + "/reference.zvmp").c_str());
    unlink((dir + "/pfg.log").c_str());
    return image;
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// ---------------------------------------------------------------------------
// Profile images built by hand.

struct Record {
    uint8_t index;
    Bytes code;
};

void put16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void sealCrc(Bytes& b)
{
    const uint32_t crc = qv_crc32_compute(b.data() + 4, b.size() - 4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(crc >> (8 * i));
}

Bytes makeImage(const std::vector<Record>& records, const char* name = "Crafted")
{
    Bytes b(60, 0);
    std::memcpy(&b[4], "ZVMP", 4);
    std::strncpy(reinterpret_cast<char*>(&b[9]), name, 30);
    put16(b, 40, 1000);
    const uint16_t dpi[6] = {800, 1600, 0, 3200, 0, 6400};
    for (int i = 0; i < 6; ++i)
        put16(b, 42 + 2 * i, dpi[i]);
    put16(b, 54, 2000);
    put16(b, 56, static_cast<uint16_t>(records.size()));
    for (const Record& r : records) {
        b.push_back(r.index);
        b.push_back(0);
        b.push_back(static_cast<uint8_t>(r.code.size()));
        b.push_back(static_cast<uint8_t>(r.code.size() >> 8));
        b.insert(b.end(), r.code.begin(), r.code.end());
    }
    sealCrc(b);
    return b;
}

std::string str(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

const std::vector<Record> kRecords = {
    {6, {0x43, 0x04}},                                              // button 3 press: key a
    {7, {0x44, 0x04}},                                              // button 3 release
    {51, {0x59, 0x01}},                                             // further input 50 release
    {65, {0x43, 0x05}},                                             // macro body
    {10, {0x09, 0x45, 0x00, 0x41, 0x01, 0x19, 0x00, 0x19, 0x00, 0x03, 0x00}}, // starts 65
};

// ---------------------------------------------------------------------------

TEST_F(ToolTest, CompileThenInspectEveryExampleProfile)
{
    const auto files = exampleFiles();
    ASSERT_FALSE(files.empty()) << "no example profiles";
    size_t profiles = 0;
    for (const std::string& json : files) {
        const Result listed = run({"profiles", json});
        ASSERT_EQ(listed.status, 0) << json << ": " << listed.err;
        std::istringstream lines(listed.out);
        std::string hand, name;
        while (lines >> hand && std::getline(lines >> std::ws, name)) {
            SCOPED_TRACE(json + " " + hand + " " + name);
            ++profiles;
            const Result compiled = run({"compile", json, "--hand", hand, "--profile", name, "-o", "out.zvmp"});
            ASSERT_EQ(compiled.status, 0) << compiled.err;
            EXPECT_NE(compiled.out.find("compiled profile '" + name + "'"), std::string::npos) << compiled.out;

            // Exactly the image that doPfg writes, and nothing left behind in the
            // working directory (no pfg.log, no temporary file).
            const std::string image = readFile(path("out.zvmp"));
            EXPECT_EQ(image, generateReference(dir, json, hand == "right", name));
            EXPECT_EQ(entries(), std::vector<std::string>{"out.zvmp"});

            const Result inspected = run({"inspect", "out.zvmp"});
            ASSERT_EQ(inspected.status, 0) << inspected.err;
            ASSERT_GE(image.size(), 60u);
            const unsigned programs = uint8_t(image[56]) | (uint8_t(image[57]) << 8);
            EXPECT_NE(inspected.out.find("  name          \"" + name + "\""), std::string::npos);
            EXPECT_NE(inspected.out.find("  programs      " + std::to_string(programs) + "\n"), std::string::npos);
            EXPECT_NE(inspected.out.find(" ok\n"), std::string::npos);
            EXPECT_EQ(count(inspected.out, "\nprogram "), programs);
            EXPECT_EQ(count(inspected.out, ".byte"), 0u) << "compiler output must disassemble cleanly";
            unlink(path("out.zvmp").c_str());
        }
    }
    EXPECT_GE(profiles, files.size());
}

TEST_F(ToolTest, InspectShowsInputsAndDisassembly)
{
    Bytes image = makeImage(kRecords);
    Bytes dup = makeImage({{6, {0x43, 0x04}}, {6, {0x43, 0x05}}, {60, {0x7f}}, {48, {}}});
    writeFile(path("a.zvmp"), str(image));
    writeFile(path("dup.zvmp"), str(dup));

    const Result r = run({"inspect", "a.zvmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* expected : {
             "  name          \"Crafted\"\n",
             "  DPI levels    0:800 1:1600 2:off 3:3200 4:off 5:6400\n",
             "  freeform DPI  2000\n",
             "  dead zone     1000\n",
             "  programs      5\n",
             "index 6  button 3 (configurator button 15) press",
             "index 7  button 3 (configurator button 15) release",
             "index 51  further input 50 (configurator button 24) release",
             "index 65  shared slot 65",
             "  macro body, started by index 10\n",
             "key_press a\n",
             "repeater_start repeater=0 program=65",
         })
        EXPECT_NE(r.out.find(expected), std::string::npos) << "missing: " << expected << "\n" << r.out;

    const Result d = run({"inspect", "dup.zvmp"});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_NE(d.out.find("(replaced by program 2/4, which has the same index)"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("index 60  unassigned index 60"), std::string::npos);
    EXPECT_NE(d.out.find(".byte 0x7f"), std::string::npos);
    EXPECT_NE(d.out.find("index 48  further input 48"), std::string::npos);
    EXPECT_NE(d.out.find("(empty)"), std::string::npos);

    // A header-only image is valid.
    writeFile(path("empty.zvmp"), str(makeImage({})));
    const Result e = run({"inspect", "empty.zvmp"});
    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_NE(e.out.find("  programs      0\n"), std::string::npos);
}

TEST_F(ToolTest, InspectRefusesDamagedImages)
{
    const Bytes good = makeImage(kRecords);
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    };
    std::vector<Case> cases;
    auto resealed = [](Bytes b) {
        sealCrc(b);
        return b;
    };
    {
        Bytes b = good;
        b[5] = 'X';
        cases.push_back({"bad magic", b, "bad magic"});
    }
    {
        Bytes b = good;
        b[8] = 1;
        cases.push_back({"version 1", resealed(b), "unsupported version 1"});
    }
    {
        Bytes b = good;
        b[b.size() - 1] ^= 0x01;
        cases.push_back({"flipped bit", b, "CRC mismatch"});
    }
    {
        Bytes b = good;
        b.resize(b.size() - 3);
        cases.push_back({"truncated record", resealed(b), "is cut short (8 bytes left)"});
    }
    {
        Bytes b(good.begin(), good.begin() + 62);
        put16(b, 56, 1);
        cases.push_back({"record header cut", resealed(b), "record header cut short (2 bytes left)"});
    }
    {
        Bytes b = good;
        b.push_back(0x00);
        b.push_back(0x5b);
        cases.push_back({"trailing garbage", resealed(b), "2 bytes of trailing data"});
    }
    {
        Bytes b = good;
        b[60] = 81;
        cases.push_back({"index 81", resealed(b), "program index 81 is above 80"});
    }
    {
        Bytes b = good;
        put16(b, 56, 6);
        cases.push_back({"count too high", resealed(b), "announces 6 programs, the file holds 5"});
    }
    {
        Bytes b = good;
        put16(b, 62, 0xFFFF);
        cases.push_back({"huge size", resealed(b), "program of 65535 bytes is cut short"});
    }
    cases.push_back({"short file", Bytes(good.begin(), good.begin() + 10), "shorter than the 60-byte header"});
    cases.push_back({"empty file", Bytes(), "file of 0 bytes"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path("bad.zvmp"), str(c.bytes));
        const Result r = run({"inspect", "bad.zvmp"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("bad.zvmp: invalid profile image: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }

    const Result missing = run({"inspect", "missing.zvmp"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, std::string("zentrova inspect: missing.zvmp: ") + std::strerror(ENOENT) + "\n");
}

// A one-profile configurator file for the right hand whose single binding is `binding`.
std::string profileJson(const std::string& binding)
{
    return R"({"testData":[{"name":"Right Mouse","profiles":[{"_profile_name":"P","_led_data":{},
      "_dpi_data":{"dpi0":800,"dpi1":1600,"dpi2":2400,"dpi3":3200,"dpi4":4000,"dpi5":4800,"freeform_dpi":50,
        "dpi0_ison":true,"dpi1_ison":true,"dpi2_ison":true,"dpi3_ison":true,"dpi4_ison":true,"dpi5_ison":true},
      "_control_data":{"mode":1,"freeform_center_joystick_mode":false},
      "_macro_data":[],
      "_key_data":[)" +
           binding + "]}]}]}";
}

TEST_F(ToolTest, CompileReportsFailuresAndKeepsExistingImage)
{
    writeFile(path("good.json"), profileJson(R"({"key_code":15,"action_type":2,"action_data":"a"})"));
    writeFile(path("badkey.json"), profileJson(R"({"key_code":15,"action_type":2,"action_data":"nosuchkey"})"));
    writeFile(path("broken.json"), "{\"testData\": [ {\"name\": ");
    writeFile(path("out.zvmp"), "previous image");

    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"missing file", {"compile", "none.json", "--hand", "right", "-p", "P", "-o", "out.zvmp"},
         "cannot open the profile file none.json"},
        {"no such profile", {"compile", "good.json", "--hand", "right", "-p", "Q", "-o", "out.zvmp"},
         "good.json has no profile 'Q' for the right hand"},
        {"no such hand", {"compile", "good.json", "--hand", "left", "-p", "P", "-o", "out.zvmp"},
         "good.json has no \"Left Mouse\" entry"},
        {"unknown key", {"compile", "badkey.json", "--hand", "right", "-p", "P", "-o", "out.zvmp"},
         "find key with description 'nosuchkey' failed"},
        {"broken JSON", {"compile", "broken.json", "--hand", "right", "-p", "P", "-o", "out.zvmp"}, "[ERROR]"},
        {"name too long",
         {"compile", "good.json", "--hand", "right", "-p", std::string(31, 'n'), "-o", "out.zvmp"},
         "[ERROR]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(readFile(path("out.zvmp")), "previous image");
    }
    // Nothing but the inputs and the untouched image remain.
    EXPECT_EQ(entries().size(), 4u);

    const Result ok = run({"compile", "good.json", "--hand", "right", "-p", "P", "-o", "out.zvmp"});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "compiled profile 'P' (right hand) of good.json into out.zvmp: 2 programs, 72 bytes\n");
    EXPECT_EQ(readFile(path("out.zvmp")), generateReference(dir, path("good.json"), 1, "P"));

    const Result verbose = run({"compile", "good.json", "--hand", "right", "-p", "P", "-o", "v.zvmp", "-v"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_NE(verbose.out.find("profile_name: P\n"), std::string::npos) << verbose.out;
    EXPECT_NE(verbose.out.find("Writing program count 2\n"), std::string::npos) << verbose.out;
}

TEST_F(ToolTest, CommandLineErrorsAndHelp)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* err;
    };
    const std::vector<Case> cases = {
        {{"compile", "x.json", "-p", "P", "-o", "o"}, 2, "zentrova compile: --hand: required option missing"},
        {{"compile", "x.json", "--hand", "up", "-p", "P", "-o", "o"}, 2, "'up' is neither left nor right"},
        {{"compile", "x.json", "--hand", "left", "-o", "o"}, 2, "-p, --profile: required option missing"},
        {{"compile", "--hand", "left", "-p", "P", "-o", "o"}, 2, "missing PROFILE.json"},
        {{"compile", "x.json", "--hand", "left", "--hand", "right", "-p", "P", "-o", "o"}, 2, "duplicate option"},
        {{"compile", "x.json", "--hand", "left", "-p", "P", "-o"}, 2, "-o, --output: missing value"},
        {{"inspect"}, 2, "missing IMAGE"},
        {{"inspect", "a", "b"}, 2, "invalid argument b"},
        {{"inspect", "a", "--bogus"}, 2, "invalid argument --bogus"},
        {{"nosuchcommand"}, 2, "unknown command 'nosuchcommand'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.err);
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    for (const char* command : {"compile", "inspect", "profiles"}) {
        const Result r = run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find(std::string("\n\nUSAGE: zentrova ") + command + " [options]\n"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
}

} // namespace
