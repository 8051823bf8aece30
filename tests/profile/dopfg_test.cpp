// doPfg end to end: image files and pfg.log as the configurator sees them.
#include <dlfcn.h>
#include <sys/stat.h>

#include <rapidjson/document.h>

#include "generator_fixture.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/device/ProfileLoader.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/profile/pfg.h"

namespace {

namespace fs = std::filesystem;

uint16_t le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | (static_cast<uint32_t>(le16(b, at + 2)) << 16); }

struct Record {
    uint8_t index;
    Bytes code;
};

// Checks an image as a loader does (magic, version, CRC in two pieces,
// records exactly filling the file) and returns its records.
std::vector<Record> walkImage(const Bytes& image, const std::string& name)
{
    std::vector<Record> records;
    EXPECT_GE(image.size(), 60u);
    if (image.size() < 60)
        return records;
    EXPECT_EQ(std::string(image.begin() + 4, image.begin() + 8), "ZVMP");
    EXPECT_EQ(image[8], 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(image.data() + 9), name.c_str());
    for (size_t i = 9 + name.size(); i < 40; ++i)
        EXPECT_EQ(image[i], 0) << i;
    EXPECT_EQ(le16(image, 58), 0);
    const uint32_t header = qv_crc32_compute(image.data() + 4, 56, 0);
    EXPECT_EQ(qv_crc32_compute(image.data() + 60, image.size() - 60, header), le32(image, 0));
    size_t at = 60;
    for (unsigned i = 0; i < le16(image, 56); ++i) {
        EXPECT_LE(at + 4, image.size());
        if (at + 4 > image.size())
            break;
        const size_t size = le16(image, at + 2);
        EXPECT_LE(image[at], 80);
        EXPECT_EQ(image[at + 1], 0);
        EXPECT_LE(at + 4 + size, image.size());
        records.push_back({image[at], Bytes(image.begin() + static_cast<long>(at + 4),
                                            image.begin() + static_cast<long>(std::min(at + 4 + size, image.size())))});
        at += 4 + size;
    }
    EXPECT_EQ(at, image.size());
    return records;
}

class DoPfgTest : public TempDirTest {
protected:
    Bytes generate(const fs::path& json, int rightHand, const char* profile, const char* out = "out.zvmp")
    {
        EXPECT_EQ(doPfg(json.c_str(), rightHand, profile, out), 0);
        return readBytes(out);
    }
};

TEST_F(DoPfgTest, OfficeProfileImageAndLogAreExact)
{
    testing::internal::CaptureStdout();
    const Bytes image = generate(example("office.json"), 1, "Work");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Name: Right Mouse\n\nprofile_name: Work\n");
    const Bytes body = hex("00 00 02 00 58 01 01 00 02 00 59 01 02 00 02 00 58 02 03 00 02 00 59 02 "
                           "04 00 02 00 58 04 05 00 02 00 59 04 06 00 04 00 41 01 58 01 07 00 04 00 59 01 42 01 "
                           "0E 00 08 00 43 E2 43 50 44 50 44 E2 10 00 01 00 5D "
                           "12 00 0B 00 58 01 59 01 10 32 00 58 01 59 01 14 00 08 00 43 E2 43 4F 44 4F 44 E2 "
                           "16 00 04 00 41 04 43 2B 17 00 04 00 44 2B 42 04 18 00 04 00 41 01 43 19 "
                           "19 00 04 00 44 19 42 01 1A 00 04 00 41 01 43 06 1B 00 04 00 44 06 42 01 "
                           "30 00 02 00 5A FF 31 00 02 00 5A 01 32 00 01 00 5B 36 00 01 00 5C");
    // Header after the CRC: magic, version, name, dead zone 15304 (setting
    // 25), DPI 800/1200/1600 with three levels off, freeform 2000 (setting
    // 127), 22 programs.
    Bytes expected = hex("00 00 00 00 5A 56 4D 50 00 57 6F 72 6B");
    expected.resize(40);
    const Bytes tail = hex("C8 3B 20 03 B0 04 40 06 00 00 00 00 00 00 D0 07 16 00 00 00");
    expected.insert(expected.end(), tail.begin(), tail.end());
    expected.insert(expected.end(), body.begin(), body.end());
    const uint32_t crc = qv_crc32_compute(expected.data() + 4, expected.size() - 4, 0);
    for (int i = 0; i < 4; ++i)
        expected[static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    EXPECT_EQ(toHex(image), toHex(expected));

    char crcLine[32];
    std::snprintf(crcLine, sizeof crcLine, "crc is %x\n", crc);
    EXPECT_EQ(readText("pfg.log"), std::string("Process profile(Work) on Right Mouse start!!!\n"
                                               "Writing program count 22\n"
                                               "Writing ctrl_deadzone 15304\n"
                                               "Writing dpi table 800 1200 1600 0 0 0\n"
                                               "Writing freeform dpi 2000\n"
                                               "file size is 226\n"
                                               "read size is 226\n") +
                                       crcLine);
}

TEST_F(DoPfgTest, EveryExampleProfileGivesAnImageTheLoaderAccepts)
{
    int images = 0;
    for (const char* file : {"office.json", "shooter.json", "mmo.json"}) {
        rapidjson::Document doc;
        doc.Parse(readText(example(file)).c_str());
        ASSERT_FALSE(doc.HasParseError()) << file;
        for (const auto& hand : doc["testData"].GetArray()) {
            const int right = std::string(hand["name"].GetString()) == "Right Mouse" ? 1 : 0;
            for (const auto& profile : hand["profiles"].GetArray()) {
                const char* name = profile["_profile_name"].GetString();
                const Bytes image = generate(example(file), right, name);
                const auto records = walkImage(image, name);
                EXPECT_GT(records.size(), 0u) << file << " " << name;
                ++images;

                pfu_log = std::fopen("pfu.log", "a");
                alignas(LoadedProfile) uint8_t buffer[8192];
                EXPECT_TRUE(check_profile(buffer, sizeof buffer, nullptr, "out.zvmp")) << file << " " << name;
                std::fclose(pfu_log);
                pfu_log = nullptr;
            }
        }
    }
    EXPECT_EQ(images, 9);
    EXPECT_EQ(readText("pfg.log").find("[ERROR]"), std::string::npos) << readText("pfg.log");
}

TEST_F(DoPfgTest, HeaderValuesAndCountersBetweenGenerations)
{
    // The raid profile sets the DPI table, freeform DPI and joystick mode;
    // a later generation that matches no profile keeps them, but not the
    // dead zone or the programs.
    walkImage(generate(example("mmo.json"), 0, "Raid"), "Raid");
    const Bytes empty = generate(example("mmo.json"), 0, "Nobody");
    walkImage(empty, "Nobody");
    ASSERT_EQ(empty.size(), 60u);
    EXPECT_EQ(toHex(Bytes(empty.begin() + 40, empty.end())),
              "00 00 20 03 40 06 60 09 80 0C A0 0F C0 12 92 2D 00 00 00 00");
    EXPECT_TRUE(pfg_state.freeform_center_joystick_mode == false);

    // Each shooter generation binds one key repeater and two macros: shared
    // programs start at 65 again, the repeater number goes on.
    const uint32_t slot = action_params.repeater_slot;
    for (uint32_t run = 0; run < 2; ++run) {
        const auto records = walkImage(generate(example("shooter.json"), 1, "Default"), "Default");
        std::vector<uint8_t> shared;
        for (const Record& r : records) {
            if (r.index >= 65)
                shared.push_back(r.index);
            if (!r.code.empty() && r.code[0] == 0x45 && r.code[1] != 0) {  // the key repeater's start
                EXPECT_EQ(r.code[1], (slot - 1 + run) % 5 + 1);
            }
        }
        EXPECT_EQ(toHex(shared), "41 42 43");
    }
    const std::string log = readText("pfg.log");
    EXPECT_NE(log.find("Process profile(Raid) on Left Mouse start!!!\n"), std::string::npos);
    EXPECT_EQ(log.find("Process profile(Nobody) on Left Mouse start!!!\nWriting program count 0\n"),
              log.find("Process profile(Nobody)"));
}

TEST_F(DoPfgTest, ProfileNamesAndHands)
{
    const std::string name30(30, 'n');
    writeText("p.json", R"({"testData":[{"name":"Right Mouse","profiles":[]}]})");
    Bytes image = generate("p.json", -1, name30.c_str());
    walkImage(image, name30);
    EXPECT_EQ(image[39], 0);
    EXPECT_NE(readText("pfg.log").find("on Right Mouse start"), std::string::npos);
    generate("p.json", 2, "x");
    EXPECT_EQ(readText("pfg.log").find("on Left Mouse"), std::string::npos);

    // A longer name is refused; an older image at that path does not survive.
    const std::string name31(31, 'n');
    image = generate("p.json", 1, name31.c_str());
    EXPECT_FALSE(fs::exists("out.zvmp"));
    EXPECT_NE(readText("pfg.log").find("[ERROR]          profile name '" + name31 + "' is longer than 30 characters\n"
                                       "[ERROR]          no profile image written to 'out.zvmp'\n"),
              std::string::npos);
    EXPECT_EQ(doPfg("p.json", 1, nullptr, "out.zvmp"), 0);
    EXPECT_EQ(doPfg("p.json", 1, "x", nullptr), 0);
    EXPECT_EQ(doPfg(nullptr, 1, "x", "out.zvmp"), 0);
    EXPECT_EQ(readBytes("out.zvmp").size(), 60u);
}

TEST_F(DoPfgTest, MissingJsonFileGivesAnEmptyValidImage)
{
    const Bytes image = generate("missing.json", 0, "Default");
    EXPECT_TRUE(walkImage(image, "Default").empty());
    EXPECT_EQ(image.size(), 60u);
    EXPECT_EQ(readText("pfg.log").rfind("Failed to open the JSON file. fileName=missing.json\n"
                                        "Writing program count 0\n",
                                        0),
              0u);
}

TEST_F(DoPfgTest, BrokenDocumentLeavesNoImage)
{
    const std::string good = readText(example("office.json"));
    const std::pair<std::string, std::string> breaks[] = {
        {R"("dpi3": 2400)", R"("dpi3": "2400")"},
        {R"("macro_name")", R"("macro")"},
        {R"("Scroll Up")", R"("Scroll Up",)"},
    };
    walkImage(generate(example("office.json"), 1, "Work"), "Work");
    for (const auto& [from, to] : breaks) {
        std::string text = good;
        if (text.find(from) == std::string::npos) {
            // office.json has no macros: add one with the broken member.
            text.replace(text.find(R"("_macro_data": [])"), 17,
                         R"("_macro_data": [{"macro_id": 1, "macro": "x", "data": []}])");
        } else {
            text.replace(text.find(from), from.size(), to);
        }
        writeText("broken.json", text);
        generate("broken.json", 1, "Work");
        EXPECT_FALSE(fs::exists("out.zvmp")) << to;
        EXPECT_NE(readText("pfg.log").rfind("[ERROR]          no profile image written to 'out.zvmp'\n"),
                  std::string::npos);
        EXPECT_EQ(pfg_state.dpi_table[0], 800);
    }
}

TEST_F(DoPfgTest, FilesThatCannotBeOpened)
{
    // No output directory: logged, nothing created, no crash.
    generate(example("office.json"), 1, "Work", "no/such/dir/out.zvmp");
    EXPECT_NE(readText("pfg.log").find("[ERROR]          cannot create the profile image 'no/such/dir/out.zvmp'\n"),
              std::string::npos);

    // pfg.log cannot be opened: the image is made all the same.
    fs::remove("pfg.log");
    fs::create_directory("pfg.log");
    walkImage(generate(example("office.json"), 1, "Work"), "Work");
}

TEST_F(DoPfgTest, MoreProgramsThanTheHeaderCanCountLeaveNoImage)
{
    // 32768 key bindings on a physical button: 65536 programs, one more than
    // the 16-bit program count can hold.
    std::string keys;
    for (int i = 0; i < 32768; ++i)
        keys += R"({"key_code":13,"action_type":2,"action_data":"a"},)";
    keys.pop_back();
    std::string json = readText(example("office.json"));
    const std::string from = R"("_key_data": [)";
    json.replace(json.find(from), from.size(), from + keys + ",");
    writeText("many.json", json);
    generate("many.json", 1, "Work");
    EXPECT_FALSE(fs::exists("out.zvmp"));
    EXPECT_NE(readText("pfg.log").find("[ERROR]          the profile needs more than 65535 programs\n"),
              std::string::npos);
}

TEST_F(DoPfgTest, ConfiguratorLoadsTheLibraryAndCallsDoPfg)
{
    void* lib = dlopen(ZENTROVA_LIB_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    using DoPfg = int (*)(const char*, int, const char*, const char*);
    auto entry = reinterpret_cast<DoPfg>(dlsym(lib, "doPfg"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(example("shooter.json").c_str(), 0, "Sniper", "sniper.zvmp"), 0);
    dlclose(lib);
    const auto records = walkImage(readBytes("sniper.zvmp"), "Sniper");
    EXPECT_EQ(records.size(), 18u);
    EXPECT_NE(readText("pfg.log").find("Writing program count 18\n"), std::string::npos);
}

} // namespace
