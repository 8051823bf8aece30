// The core API: compile results and their diagnostics, the profile image's
// refusals, and the loader limit that compile, inspect and check_profile share.
#include "profile_fixture.h"
#include "support/ProfileImage.h"
#include "zentrova/device/ProfileLoader.h"
#include "zentrova/profile/Compiler.h"
#include "zentrova/profile/pfg.h"

namespace {

namespace fs = std::filesystem;
using zentrova::CompileResult;
using zentrova::Diagnostic;
using zentrova::Hand;
using zentrova::ProfileImage;
using zentrova::ProfileImageError;
using Severity = Diagnostic::Severity;
using Kind = ProfileImageError::Kind;

const std::string kExamples = ZENTROVA_SOURCE_DIR "/examples/profiles/";

// One right-hand profile "P" whose "_key_data" holds `keys`.
std::string document(const std::string& keys)
{
    return "{\"testData\": [\n"
           " {\"name\": \"Right Mouse\", \"profiles\": [\n"
           "  {\"_profile_name\": \"P\", \"_led_data\": {},\n"
           "   \"_dpi_data\": {\"dpi0\": 800, \"dpi1\": 1600, \"dpi2\": 2400, \"dpi3\": 3200, \"dpi4\": 4000,\n"
           "     \"dpi5\": 4800, \"freeform_dpi\": 50, \"dpi0_ison\": true, \"dpi1_ison\": true, \"dpi2_ison\": true,\n"
           "     \"dpi3_ison\": true, \"dpi4_ison\": true, \"dpi5_ison\": true},\n"
           "   \"_control_data\": {\"mode\": 1, \"freeform_center_joystick_mode\": false},\n"
           "   \"_macro_data\": [],\n"
           "   \"_key_data\": [\n" +
           keys + "]}]}]}\n";
}

const std::string kKeys = "    {\"key_code\": 13, \"action_type\": 2, \"action_data\": \"a\"},\n"
                          "    {\"key_code\": 15, \"action_type\": 2, \"action_data\": \"nosuchkey\"}";

// 1-based line and column of the first `needle` in `text`.
std::pair<size_t, size_t> where(const std::string& text, const std::string& needle)
{
    const size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    const size_t lineStart = text.rfind('\n', at);
    return {1 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'),
            at - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1};
}

TEST(CompileProfile, DiagnosticsWithTheirPlace)
{
    const std::string good = document(kKeys);
    const std::string badDpi = replaced(good, "\"dpi3\": 3200", "\"dpi3\": \"3200\"");
    const std::string noMode = replaced(good, "\"mode\": 1, ", "");
    // Four bindings of a macro of 600 pauses: 7244 bytes of code in a body
    // of 7276; of 700 pauses: 2100 bytes, more than a program holds.
    const auto macroDocument = [](int pauses) {
        std::string steps, macroKeys;
        for (int i = 0; i < pauses; ++i)
            steps += std::string(i ? "," : "") + R"({"type": 3, "scroll_angle": 0, "key_code": 0, "duration": 5})";
        for (int key : {13, 14, 15, 16})
            macroKeys += std::string(key > 13 ? "," : "") + R"({"key_code": )" + std::to_string(key) +
                         R"(, "action_type": 3, "action_data": "{\"macro_id\": 1, \"macro_mode\": false, )"
                         R"(\"constant_type\": false, \"repeat_times\": 1, \"delay_from\": 0, \"delay_to\": 0, )"
                         R"(\"interruptible\": false}"})";
        return replaced(document(macroKeys), "\"_macro_data\": []",
                        R"("_macro_data": [{"macro_id": 1, "macro_name": "M", "data": [)" + steps + "]}]");
    };
    const std::string bigMacros = macroDocument(600);
    const struct {
        std::string name, json, profile;
        bool image;
        Severity severity;
        std::string message, path, at;  // at: text the diagnostic points to ("" = no place)
    } cases[] = {
        {"parse error", "{\"testData\": [\n}", "P", false, Severity::Error,
         "profile 'P' on Right Mouse: JSON file '(JSON text)' does not parse: Invalid value. (offset 15)", "", "}"},
        {"wrong type", badDpi, "P", false, Severity::Error,
         "profile 'P' on Right Mouse: testData[0].profiles[0]._dpi_data.dpi3 is missing or not an int",
         "/testData/0/profiles/0/_dpi_data/dpi3", "\"dpi3\""},
        {"missing member: its object", noMode, "P", false, Severity::Error,
         "profile 'P' on Right Mouse: testData[0].profiles[0]._control_data.mode is missing or not an int",
         "/testData/0/profiles/0/_control_data/mode", "\"_control_data\""},
        {"refused binding", good, "P", true, Severity::Error, "find key with description 'nosuchkey' failed",
         "/testData/0/profiles/0/_key_data/1/action_data", "\"action_data\": \"nosuchkey\""},
        {"macro longer than a program", macroDocument(700), "P", true, Severity::Error,
         "macro binding for mouse event 0 refused: macro 1 'M' needs 2100 bytes, more than the 2048 a program holds",
         "/testData/0/profiles/0/_key_data/0/action_data", R"("action_data": "{\"macro_id)"},
        {"long name", good, std::string(31, 'n'), false, Severity::Error,
         "profile name '" + std::string(31, 'n') + "' is longer than 30 characters", "", ""},
        {"no profile", good, "Q", true, Severity::Warning,
         "the \"Right Mouse\" entry has no profile 'Q'; the image holds no programs", "", ""},
        {"too big for the loader", bigMacros, "P", true, Severity::Warning,
         "the mouse's profile loader will refuse this image: 7244 bytes of program code exceed the 6888 that the "
         "mouse's profile loader has room for",
         "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CompileResult r = zentrova::compileProfile(c.json, Hand::Right, c.profile);
        EXPECT_EQ(r.image.has_value(), c.image);
        EXPECT_EQ(r.ok(), c.severity == Severity::Warning);
        const auto found = std::find_if(r.diagnostics.begin(), r.diagnostics.end(),
                                        [&](const Diagnostic& d) { return d.message == c.message; });
        ASSERT_NE(found, r.diagnostics.end()) << (r.diagnostics.empty() ? "none" : r.diagnostics[0].message);
        EXPECT_EQ(found->severity, c.severity);
        EXPECT_EQ(found->path, c.path);
        const auto place = c.at.empty() ? std::pair<size_t, size_t>{0, 0} : where(c.json, c.at);
        EXPECT_EQ(std::make_pair(found->line, found->column), place);
    }
}

// The API gives doPfg's image and log lines, prints and writes nothing, and
// neither takes over nor disturbs the state doPfg carries between calls.
TEST(CompileProfile, SameImageAsDoPfgWithoutItsSideEffects)
{
    TempDir dir(true);
    ASSERT_EQ(doPfg((kExamples + "mmo.json").c_str(), 0, "Raid", "raid.zvmp"), 0);
    testing::internal::CaptureStdout();
    const CompileResult office = zentrova::compileProfileFile(kExamples + "office.json", Hand::Right, "Work");
    const CompileResult nobody = zentrova::compileProfileFile(kExamples + "mmo.json", Hand::Left, "Nobody");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);  // raid.zvmp, pfg.log

    // A fresh state: no DPI table from the raid profile (doPfg carries it on, see its tests).
    ASSERT_TRUE(nobody.image);
    EXPECT_EQ(nobody.image->dpi, (std::array<uint16_t, 6>{}));

    ASSERT_TRUE(office.ok());
    EXPECT_EQ(office.handEntries, 1u);
    EXPECT_EQ(office.profilesCompiled, 1u);
    EXPECT_EQ(office.progress, "Name: Right Mouse\n\nprofile_name: Work\n");
    const std::string before = readFile("pfg.log");
    ASSERT_EQ(doPfg((kExamples + "office.json").c_str(), 1, "Work", "office.zvmp"), 0);
    EXPECT_EQ(readFile("pfg.log").substr(before.size()), office.log);
    EXPECT_EQ(readFile("office.zvmp"), std::string(office.bytes.begin(), office.bytes.end()));

    const CompileResult missing = zentrova::compileProfileFile("no-such.json", Hand::Right, "Work");
    EXPECT_FALSE(missing.image);
    ASSERT_EQ(missing.diagnostics.size(), 1u);
    EXPECT_EQ(missing.diagnostics[0].message, "cannot read the JSON file 'no-such.json'");
    const CompileResult endless = zentrova::compileProfileFile("/dev/zero", Hand::Right, "Work");
    EXPECT_FALSE(endless.image);
    ASSERT_EQ(endless.diagnostics.size(), 1u);
    EXPECT_EQ(endless.diagnostics[0].message, "the JSON file '/dev/zero' is larger than 67108864 bytes");
}

TEST(ProfileImage, DamagedImagesAndTheirErrors)
{
    testimg::ProfileImage crafted;
    crafted.programs = {{6, {0x43, 0x04}}, {65, {0x43, 0x05, 0x44, 0x05}}};
    const testimg::Bytes good = crafted.bytes();  // 60 + 6 + 8 bytes
    const auto with = [&crafted](auto change) {
        testimg::ProfileImage img = crafted;
        change(img);
        return img.bytes();
    };
    const auto cut = [&good](size_t size, int count) {
        testimg::Bytes b(good.begin(), good.begin() + static_cast<long>(size));
        testimg::putLe(b, 56, static_cast<uint32_t>(count));
        return testimg::sealed(b);
    };
    testimg::Bytes badCrc = good;
    badCrc[70] ^= 0x40;
    const size_t none = ProfileImageError::kNoRecord;
    const struct {
        testimg::Bytes bytes;
        Kind kind;
        size_t offset, record;
        std::string message;
    } cases[] = {
        {testimg::Bytes(good.begin(), good.begin() + 59), Kind::ShortHeader, 59, none,
         "file of 59 bytes is shorter than the 60-byte header"},
        {with([](auto& i) { i.magic = "ZXMP"; }), Kind::BadMagic, 4, none,
         "bad magic: not a profile image (bytes 4..7 are not \"" + crafted.magic + "\")"},
        {with([](auto& i) { i.version = 2; }), Kind::BadVersion, 8, none, "unsupported version 2 (only 0 is known)"},
        {badCrc, Kind::CrcMismatch, 0, none, "CRC mismatch: stored 0x6b091493, computed 0xf01d4cae"},
        {cut(68, 2), Kind::RecordHeaderCut, 66, 1, "record 1 at offset 66: record header cut short (2 bytes left)"},
        {with([](auto& i) { i.programs[1].index = 81; }), Kind::IndexTooHigh, 66, 1,
         "record 1 at offset 66: program index 81 is above 80"},
        {cut(73, 2), Kind::ProgramCut, 66, 1, "record 1 at offset 66: program of 4 bytes is cut short (3 bytes left)"},
        {with([](auto& i) { i.programCount = 3; }), Kind::MissingRecords, 74, 2,
         "the header announces 3 programs, the file holds 2"},
        {with([](auto& i) { i.trailing = {0}; }), Kind::TrailingData, 74, none,
         "1 bytes of trailing data after the last of the 2 programs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            ProfileImage::parse(c.bytes);
            ADD_FAILURE() << "parsed";
        } catch (const ProfileImageError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_EQ(e.offset(), c.offset);
            EXPECT_EQ(e.record(), c.record);
            EXPECT_EQ(e.what(), c.message);
        }
    }
    // Trailing bytes may be allowed (the loader only warns about them).
    EXPECT_EQ(ProfileImage::parse(cases[8].bytes, ProfileImage::Trailing::Allow).trailingBytes, 1u);
    // An intact image, reserved header bytes included, serialises back byte for byte.
    testimg::Bytes reserved = good;
    reserved[58] = 0x5A;
    EXPECT_EQ(ProfileImage::parse(testimg::sealed(reserved)).serialize(), testimg::sealed(reserved));

    ProfileImage most;
    most.programs.resize(65535); // the count field's largest value
    EXPECT_EQ(ProfileImage::parse(most.serialize()).programs.size(), 65535u);
    most.programs.resize(65536);
    EXPECT_THROW(most.serialize(), std::length_error);
    ProfileImage longName;
    longName.name = std::string(32, 'n');
    EXPECT_THROW(longName.serialize(), std::length_error);
}

// What the mouse's loader takes with the device tool's buffer is exactly
// what fitsLoader() says, at both limits: the body and the bytecode room.
TEST(ProfileImage, LoaderLimitAgreesWithCheckProfile)
{
    const auto records = [](size_t count, size_t codeSize) {
        ProfileImage image;
        image.programs.assign(count, zentrova::ProgramRecord{1, 0, std::vector<uint8_t>(codeSize, 0x00)});
        return image;
    };
    std::vector<ProfileImage> images = {records(2048, 0), records(2049, 0), records(1, 6888), records(1, 6889),
                                        records(4, 1722), records(4, 1723)};
    TempDir dir;
    alignas(LoadedProfile) static uint8_t buffer[ProfileImage::kLoaderBufferSize];
    for (const ProfileImage& image : images) {
        const std::vector<uint8_t> bytes = image.serialize();
        SCOPED_TRACE(std::to_string(image.programs.size()) + " programs, " + std::to_string(bytes.size()) + " bytes");
        testimg::writeFile(dir.path("p.zvmp"), bytes);
        EXPECT_EQ(check_profile(buffer, sizeof buffer, nullptr, dir.path("p.zvmp").c_str()), image.fitsLoader());
        EXPECT_EQ(image.loaderProblem().empty(), image.fitsLoader());
    }
    EXPECT_TRUE(images[0].fitsLoader());
    EXPECT_FALSE(images[1].fitsLoader());
    EXPECT_TRUE(images[2].fitsLoader());
    EXPECT_FALSE(images[3].fitsLoader());
}

} // namespace
