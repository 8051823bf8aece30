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

// A binding of button `key`; `data` is the action_data text, quoted here.
std::string bind(int key, int type, const std::string& data)
{
    std::string quoted;
    for (char c : data)
        quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    return "    {\"key_code\": " + std::to_string(key) + ", \"action_type\": " + std::to_string(type) +
           ", \"action_data\": \"" + quoted + "\"}";
}

std::string macroBinding(int key, const std::string& settings)
{
    return bind(key, 3, R"({"macro_id": 1, "macro_mode": false, "constant_type": false, "repeat_times": 1, )"
                        R"("delay_from": 0, "delay_to": 0, "interruptible": false)" + settings + "}");
}

// document() with macro 1 of the given steps.
std::string withMacro(const std::string& keys, const std::string& steps)
{
    return replaced(document(keys), "\"_macro_data\": []",
                    R"("_macro_data": [{"macro_id": 1, "macro_name": "M", "data": [)" + steps + "]}]");
}

std::string step(int type, int angle, int key, int duration)
{
    return "{\"type\": " + std::to_string(type) + ", \"scroll_angle\": " + std::to_string(angle) +
           ", \"key_code\": " + std::to_string(key) + ", \"duration\": " + std::to_string(duration) + "}";
}

// Hand-edited profiles: what would not reach the mouse as written, where.
TEST(CompileProfile, FindingsInHandEditedProfiles)
{
    const std::string good = document(bind(13, 2, "a"));
    const std::string deadZone = R"("mode": 0, "dead_zone": )";
    const std::string repeater = R"({"key_code": 97, "repeat_times": 5, "delay_from": 10, "delay_to": 20, )"
                                 R"("delay_type": false, "key_repeater_mode": false, "key_repeater_constant_type": )"
                                 R"(false, "interruptible": false)";
    // Seventeen key repeaters; the one compiled last (key code 10, the
    // highest button) finds no shared program left.
    std::string seventeen;
    for (int key = 1; key <= 17; ++key)
        seventeen += (key > 1 ? ",\n" : "") +
                     bind(key, 4, replaced(repeater, "\"repeat_times\": 5", "\"repeat_times\": " + std::to_string(key)) + "}");
    const struct {
        std::string json;
        Severity severity;
        std::string message, path = "/_key_data/0/action_data", at = "\"action_data\"";  // below /testData/0/profiles/0
    } cases[] = {
        {document(bind(13, 2, "leftbraket")), Severity::Error, "'leftbraket' failed; did you mean leftbracket?"},
        {document(bind(13, 2, "leftcontrl + c")), Severity::Error, "did you mean leftcontrol?"},
        {document(bind(13, 1, "left click")), Severity::Error, "\"left click\" is no mouse function; the binding is "
         "left out; did you mean Left Click?"},
        {document(bind(13, 2, "a + b")), Severity::Warning, "\"a\" is no modifier key"},
        {document(bind(30, 2, "a")), Severity::Error, "\"key_code\" 30 is no button of the mouse (buttons 1..29)",
         "/_key_data/0/key_code", "\"key_code\": 30"},
        {document(bind(13, 9, "a")), Severity::Error, "\"action_type\" 9 is none of 0 (none)",
         "/_key_data/0/action_type", "\"action_type\": 9"},
        {replaced(good, "\"dpi1\": 1600", "\"dpi1\": -800"), Severity::Error,
         "DPI level 1 of -800 is outside 0..65535; the mouse would get 64736", "/_dpi_data/dpi1", "\"dpi1\""},
        {replaced(good, "\"dpi2\": 2400", "\"dpi2\": 65536"), Severity::Error, "65536 is outside 0..65535",
         "/_dpi_data/dpi2", "\"dpi2\""},
        {replaced(good, "\"freeform_dpi\": 50", "\"freeform_dpi\": 200"), Severity::Error,
         "\"freeform_dpi\" 200 gives -6111 DPI, outside 0..65535; the mouse would get 59425",
         "/_dpi_data/freeform_dpi", "\"freeform_dpi\""},
        {replaced(good, "\"mode\": 1, ", deadZone + "65538, "), Severity::Error,
         "\"dead_zone\" 65538 is outside 0..65535; the mouse would get 1596", "/_control_data/dead_zone",
         "\"dead_zone\""},
        {replaced(good, "\"mode\": 1, ", deadZone + "0, "), Severity::Warning,
         "\"dead_zone\" 0 is outside 1..100; the mouse gets the dead zone of 1 (1000)", "/_control_data/dead_zone",
         "\"dead_zone\""},
        {replaced(good, "\"mode\": 1", "\"mode\": 2"), Severity::Warning, "\"mode\" 2 is neither 0",
         "/_control_data/mode", "\"mode\""},
        {withMacro(bind(13, 2, "a"), step(3, 0, 0, -5)), Severity::Error, "\"duration\" -5 is outside 0..65535",
         "/_macro_data/0/data/0/duration", "\"duration\""},
        {withMacro(bind(13, 2, "a"), step(2, 200, 0, 0)), Severity::Error, "\"scroll_angle\" 200 is outside -128..127",
         "/_macro_data/0/data/0/scroll_angle", "\"scroll_angle\""},
        {withMacro(bind(13, 2, "a"), step(0, 0, 5000, 0)), Severity::Warning, "\"key_code\" 5000 is no key",
         "/_macro_data/0/data/0/key_code", "\"key_code\": 5000"},
        {withMacro(macroBinding(13, ""), step(3, 0, 0, 40000) + "," + step(3, 0, 0, 40000)), Severity::Error,
         "the total delay of macro 1, 80000, is outside 0..65535"},
        {withMacro(macroBinding(13, ", \"repeat_times\": 70000"), ""), Severity::Warning,
         "action_data member \"repeat_times\" appears more than once"},
        {document(macroBinding(13, "")), Severity::Error, "\"macro_id\" 1 names no macro"},
        {document(bind(28, 3, R"({"macro_id": 1, "macro_mode": true, "constant_type": false, "repeat_times": 1,)"
                              R"( "delay_from": 0, "delay_to": 0, "interruptible": false})")),
         Severity::Error, "names no macro"},
        {document(bind(13, 4, repeater + R"(, "repeat_times": 0, "colour": 1})")), Severity::Info,
         "action_data member \"colour\" is not read by the compiler"},
        {document(bind(13, 4, repeater + R"(, "modifier_code": 97})")), Severity::Warning,
         "\"modifier_code\" 97 is no modifier key"},
        {document(bind(13, 4, replaced(repeater, "\"delay_to\": 20", "\"delay_to\": -1") + "}")), Severity::Error,
         "\"delay_to\" -1 is outside 0..65535; the mouse would get 65535"},
        {document(bind(28, 4, replaced(repeater, "\"key_repeater_mode\": false", "\"key_repeater_mode\": true") +
                                  "}")),
         Severity::Error, "a while-pressed key repeater on input 49 gets no trigger"},
        {document(seventeen), Severity::Error, "all 16 shared programs (65..80) are taken", "/_key_data/9/action_data",
         R"("action_data": "{\"key_code\": 97, \"repeat_times\": 10,)"},
        {document(bind(13, 5, R"({"type": 7, "data": 1, "data2": 0})")), Severity::Error, "\"type\" 7 is none of"},
        {document(bind(13, 5, R"({"type": 0, "data": 300, "data2": 0})")), Severity::Error,
         "\"data\" 300 is outside 0..255; the mouse would get 44"},
        {document(bind(13, 5, R"({"type": 0, "data": 0, "data2": 0})")), Severity::Error,
         "profiles are numbered from 1"},
        {replaced(good, "\"_macro_data\": []", "\"_macro_data\": [], \"_macro_data\": 5"), Severity::Warning,
         "\"_macro_data\" appears more than once", "/_macro_data", "\"_macro_data\""},
        {replaced(good, "\"mode\": 1,", "\"mode\": 1, \"dead_zone\": 3,"), Severity::Info,
         "\"dead_zone\" is read only when \"mode\" is 0", "/_control_data/dead_zone", "\"dead_zone\""},
        {replaced(good, "\"dpi0\": 800", "\"dpi0\": 800, \"dpi_6\": 1"), Severity::Info,
         "\"dpi_6\" is not read by the compiler; did you mean dpi0, dpi1 or dpi2?", "/_dpi_data/dpi_6", "\"dpi_6\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const CompileResult r = zentrova::compileProfile(c.json, Hand::Right, "P");
        ASSERT_TRUE(r.image);
        EXPECT_EQ(r.ok(), c.severity != Severity::Error);
        const auto found = std::find_if(r.diagnostics.begin(), r.diagnostics.end(), [&](const Diagnostic& d) {
            return d.message.find(c.message) != std::string::npos;
        });
        ASSERT_NE(found, r.diagnostics.end()) << (r.diagnostics.empty() ? "none" : r.diagnostics[0].message);
        EXPECT_EQ(found->severity, c.severity);
        EXPECT_EQ(found->path, "/testData/0/profiles/0" + c.path);
        EXPECT_EQ(std::make_pair(found->line, found->column), where(c.json, c.at));
    }

    // None of it reaches doPfg: the same log and image as before.
    TempDir dir(true);
    writeFile("bad.json", cases[0].json);
    ASSERT_EQ(doPfg("bad.json", 1, "P", "bad.zvmp"), 0);
    const CompileResult r = zentrova::compileProfileFile("bad.json", Hand::Right, "P");
    EXPECT_EQ(readFile("pfg.log"), r.log);
    EXPECT_EQ(readFile("bad.zvmp"), std::string(r.bytes.begin(), r.bytes.end()));
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
