// doPfg end to end: image files and pfg.log as the configurator sees them.
#include <sys/stat.h>

#include <algorithm>

#include "profile_fixture.h"
#include "support/Permissions.h"
#include "zentrova/device/ProfileLoader.h"
#include "zentrova/profile/Compiler.h"
#include "zentrova/profile/pfg.h"

namespace {

namespace fs = std::filesystem;

const std::string kExamples = ZENTROVA_SOURCE_DIR "/examples/profiles/";

class DoPfgTest : public ProfileTest {
protected:
    DoPfgTest() : ProfileTest(false) {}

    /// Runs doPfg and returns the image bytes ("" when there is none).
    std::string generate(const fs::path& json, int rightHand, const char* profile, const char* out = "out.zvmp")
    {
        EXPECT_EQ(doPfg(json.c_str(), rightHand, profile, out), 0);
        return readFile(out);
    }

    /// The image as the loader lays it out, or null when the loader refuses it.
    const LoadedProfile* load(const char* path = "out.zvmp")
    {
        return check_profile(buffer_, sizeof buffer_, nullptr, path) ? reinterpret_cast<LoadedProfile*>(buffer_)
                                                                       : nullptr;
    }

    alignas(LoadedProfile) uint8_t buffer_[8192];
};

// Drops the capabilities that let root pass over file permissions in this
// thread, for as long as it lives.
struct WithoutFileAccessOverride {
    WithoutFileAccessOverride() { testsupport::overridePermissions(false); }
    ~WithoutFileAccessOverride() { testsupport::overridePermissions(true); }
};

std::string nameField(const std::string& name) { return name + std::string(31 - name.size(), '\0'); }

TEST_F(DoPfgTest, OfficeProfileImageAndLogAreExact)
{
    // CRC, magic, version, name, dead zone 15304 (setting 25), DPI
    // 800/1200/1600 with three levels off, freeform 2000 (setting 127), 22
    // programs.
    const std::string expected = hex("FA 59 B4 66 5A 56 4D 50 00") + nameField("Work") +
        hex("C8 3B 20 03 B0 04 40 06 00 00 00 00 00 00 D0 07 16 00 00 00 "
            "00 00 02 00 58 01 01 00 02 00 59 01 02 00 02 00 58 02 03 00 02 00 59 02 "
            "04 00 02 00 58 04 05 00 02 00 59 04 06 00 04 00 41 01 58 01 07 00 04 00 59 01 42 01 "
            "0E 00 08 00 43 E2 43 50 44 50 44 E2 10 00 01 00 5D "
            "12 00 0B 00 58 01 59 01 10 32 00 58 01 59 01 14 00 08 00 43 E2 43 4F 44 4F 44 E2 "
            "16 00 04 00 41 04 43 2B 17 00 04 00 44 2B 42 04 18 00 04 00 41 01 43 19 "
            "19 00 04 00 44 19 42 01 1A 00 04 00 41 01 43 06 1B 00 04 00 44 06 42 01 "
            "30 00 02 00 5A FF 31 00 02 00 5A 01 32 00 01 00 5B 36 00 01 00 5C");
    EXPECT_EQ(toHex(generate(kExamples + "office.json", 1, "Work")), toHex(expected));
    EXPECT_EQ(readFile("pfg.log"), "Process profile(Work) on Right Mouse start!!!\n"
                                   "Writing program count 22\n"
                                   "Writing ctrl_deadzone 15304\n"
                                   "Writing dpi table 800 1200 1600 0 0 0\n"
                                   "Writing freeform dpi 2000\n"
                                   "file size is 226\n"
                                   "read size is 226\n"
                                   "crc is 66b459fa\n");
}

TEST_F(DoPfgTest, HeaderValuesAndCountersBetweenGenerations)
{
    // The raid profile sets the DPI table, freeform DPI and joystick mode;
    // a later generation that matches no profile keeps them, but not the
    // dead zone or the programs.
    generate(kExamples + "mmo.json", 0, "Raid");
    const std::string empty = generate(kExamples + "mmo.json", 0, "Nobody");
    ASSERT_NE(load(), nullptr);
    EXPECT_EQ(toHex(empty.substr(40)), "00 00 20 03 40 06 60 09 80 0C A0 0F C0 12 92 2D 00 00 00 00");
    EXPECT_NE(readFile("pfg.log").find("Process profile(Nobody) on Left Mouse start!!!\nWriting program count 0\n"),
              std::string::npos);

    // Each shooter generation binds one key repeater and two macros: shared
    // programs start at 65 again, the repeater number goes on.
    const uint32_t slot = action_params.repeater_slot;
    for (uint32_t run = 0; run < 2; ++run) {
        generate(kExamples + "shooter.json", 1, "Default");
        const LoadedProfile* loaded = load();
        ASSERT_NE(loaded, nullptr);
        for (int i = 65; i <= 68; ++i)
            EXPECT_EQ(loaded->programs[i].data != nullptr, i < 68) << i;
        EXPECT_EQ(action_params.repeater_slot, (slot + run) % 5 + 1);
    }
}

TEST_F(DoPfgTest, NamesHandsAndMissingInputs)
{
    // A missing JSON file gives an empty but valid image.
    EXPECT_EQ(generate("missing.json", 0, "Default").size(), 60u);
    ASSERT_NE(load(), nullptr);
    EXPECT_EQ(readFile("pfg.log").rfind("Failed to open the JSON file. fileName=missing.json\n"
                                        "Writing program count 0\n", 0), 0u);

    // Names of 30 characters fill the field; any non-zero hand is the right one.
    const std::string name30(30, 'n');
    writeFile("p.json", R"({"testData":[{"name":"Right Mouse","profiles":[]}]})");
    EXPECT_EQ(generate("p.json", -1, name30.c_str()).substr(9, 31), nameField(name30));
    generate("p.json", 2, "x");
    EXPECT_EQ(readFile("pfg.log").find("on Left Mouse"), std::string::npos);

    EXPECT_EQ(doPfg("p.json", 1, nullptr, "out.zvmp"), 0);
    EXPECT_EQ(doPfg("p.json", 1, "x", nullptr), 0);
    EXPECT_EQ(doPfg(nullptr, 1, "x", "out.zvmp"), 0);
    EXPECT_EQ(readFile("out.zvmp").size(), 60u);

    // pfg.log cannot be opened: the image is made all the same.
    fs::remove("pfg.log");
    fs::create_directory("pfg.log");
    generate(kExamples + "office.json", 1, "Work");
    EXPECT_NE(load(), nullptr);
}

TEST_F(DoPfgTest, RefusedGenerationsLeaveTheDestinationAlone)
{
    const std::string office = readFile(kExamples + "office.json");
    // 32768 key bindings on a physical button: 65536 programs, one more
    // than the 16-bit program count can hold.
    std::string keys;
    for (int i = 0; i < 32768; ++i)
        keys += R"({"key_code":13,"action_type":2,"action_data":"a"},)";
    const std::string name31(31, 'n');
    const struct {
        std::string json, profile, out, error, from = "in.json";
    } cases[] = {
        {office, name31, "out.zvmp", "profile name '" + name31 + "' is longer than 30 characters\n"},
        {replaced(office, R"("_key_data": [)", R"("_key_data": [)" + keys), "Work", "out.zvmp",
         "the profile needs more than 65535 programs\n"},
        {office, "Work", "out.zvmp", "profile 'Work' on Right Mouse: JSON file '/dev/zero' is larger than 67108864 bytes\n",
         "/dev/zero"},
        {office, "Work", "no/such/dir/out.zvmp",
         "cannot create the profile image 'no/such/dir/out.zvmp': No such file or directory\n"},
        {office, "Work", "adir", "cannot create the profile image 'adir': Is a directory\n"},
        {office, "Work", "ro/out.zvmp", "cannot create the profile image 'ro/out.zvmp': Permission denied\n"},
        {office, "Work", "./in.json", "the profile image './in.json' is the JSON file 'in.json'\n"},
    };
    generate(kExamples + "office.json", 1, "Work");
    fs::create_directory("adir");
    fs::create_directory("ro");
    fs::permissions("ro", fs::perms::owner_read | fs::perms::owner_exec);
    const WithoutFileAccessOverride asUser;  // root too is held to "ro"'s permissions
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        writeFile("in.json", c.json);
        writeFile(c.out, "an older image");
        const std::string before = readFile(c.out);
        const auto logged = readFile("pfg.log").size();
        generate(c.from, 1, c.profile.c_str(), c.out.c_str());
        EXPECT_EQ(readFile(c.out), before);
        const std::string log = readFile("pfg.log").substr(logged);
        EXPECT_NE(log.find(c.error), std::string::npos) << log;
        if (c.out != "out.zvmp") { // refused before the JSON file is read
            EXPECT_EQ(log.find("Process profile"), std::string::npos) << log;
        }
        const bool noImage = log.find("[ERROR]          no profile image written to 'out.zvmp'\n") != std::string::npos;
        EXPECT_EQ(noImage, c.out == "out.zvmp");
        EXPECT_EQ(pfg_state.dpi_table[0], 800);
    }
    // Nothing but the inputs, the log and the image: no temporary file stays.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("."))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"adir", "in.json", "out.zvmp", "pfg.log", "ro"}));
}

// 1500 macro bindings, all but 16 refused: far more log than is gathered in
// memory before it goes to the file. pfg.log keeps the earlier call's lines
// and then holds exactly what the compiler API logs for the same document.
TEST_F(DoPfgTest, LongLogArrivesWholeAndInOrder)
{
    std::string keys;
    for (int i = 0; i < 1500; ++i)
        keys += R"({"key_code":15,"action_type":3,"action_data":"{\"macro_id\":1,\"macro_mode\":false,)"
                R"(\"constant_type\":false,\"repeat_times\":1,\"delay_from\":100,\"delay_to\":0,\"interruptible\":true}"},)";
    const std::string json =
        replaced(readFile(kExamples + "office.json"), R"("_key_data": [)", R"("_key_data": [)" + keys);
    writeFile("in.json", json);
    generate(kExamples + "office.json", 1, "Work");
    const std::string before = readFile("pfg.log");
    const zentrova::CompileResult api = zentrova::compileProfile(json, zentrova::Hand::Right, "Work", "in.json");
    ASSERT_GT(api.log.size(), 128u * 1024);
    generate("in.json", 1, "Work");
    EXPECT_EQ(readFile("pfg.log"), before + api.log);
}

// Lines are in pfg.log before anything later of the generation can be seen:
// here, before each progress line reaches standard output.
TEST_F(DoPfgTest, LogIsInTheFileBeforeEachProgressLine)
{
    static std::vector<std::string> seen;  // each write to standard output, then pfg.log at that moment
    cookie_io_functions_t io{};
    io.write = [](void*, const char* data, size_t size) -> ssize_t {
        seen.push_back(std::string(data, size) + "|" + readFile("pfg.log"));
        return static_cast<ssize_t>(size);
    };
    FILE* const saved = stdout;
    stdout = fopencookie(nullptr, "w", io);
    generate(kExamples + "office.json", 1, "Work");
    std::fclose(stdout);
    stdout = saved;
    const std::string start = "Process profile(Work) on Right Mouse start!!!\n";
    EXPECT_EQ(seen, (std::vector<std::string>{"Name: Right Mouse\n|" + start, "\nprofile_name: Work\n|" + start}));
}

// The image is created as fopen would create it: 0666 less the umask.
TEST_F(DoPfgTest, ImageModeFollowsTheUmask)
{
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        const mode_t previous = umask(mask);
        generate(kExamples + "office.json", 1, "Work");
        umask(previous);
        EXPECT_EQ(fs::status("out.zvmp").permissions(), static_cast<fs::perms>(0666 & ~mask)) << mask;
    }
}

} // namespace
