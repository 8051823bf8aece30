// The profile JSON reader: values derived from the profile, selection and
// order of the bindings, and documents that break the schema.
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "profile/json_parse.h"
#include "profile/process_profile.h"
#include "profile_fixture.h"

namespace {

const char* const kDocument = R"({"testData":[
 {"name":"Left Mouse","profiles":[]},
 {"name":"right mouse","profiles":7},
 {"name":"Right Mouse","profiles":[
  {"_profile_name":"Other"},
  {"_profile_name":"P","_led_data":null,
   "_dpi_data":{"dpi0":400,"dpi1":800,"dpi2":1600,"dpi3":3200,"dpi4":6400,"dpi5":70000,"freeform_dpi":50,
     "dpi0_ison":true,"dpi1_ison":true,"dpi2_ison":false,"dpi3_ison":true,"dpi4_ison":true,"dpi5_ison":true},
   "_control_data":{"mode":0,"dead_zone":2,"freeform_center_joystick_mode":true},
   "_macro_data":[{"macro_id":3,"macro_name":"M","data":[{"type":3,"scroll_angle":0,"key_code":0,"duration":7}]},
                  {"macro_id":4,"macro_name":"E","data":[]}],
   "_key_data":[{"key_code":29,"action_type":1,"action_data":"DPI Up"},
                {"key_code":99},
                {"key_code":13,"action_type":2,"action_data":"a"},
                {"key_code":13,"action_type":1,"action_data":"Left Click"}]}]}]})";

// Button 0 (configurator 13) before input 48 (29), bindings of one button in
// array order.
const char* const kRecords = "00 00 02 00 43 04 01 00 02 00 44 04 00 00 02 00 58 01 01 00 02 00 59 01 30 00 01 00 5B";

class ProcessProfileTest : public ProfileTest {
protected:
    bool process(const std::string& json, const char* profile = "P", const char* hand = "Right Mouse")
    {
        writeFile("in.json", json);
        return processProfile("in.json", hand, profile);
    }
};

// Profile P twice in one entry of the hand and once in another: each is
// compiled in turn, the values of the last one stay.
TEST_F(ProcessProfileTest, CompilesEveryMatchingProfileInTurn)
{
    const std::string doc = kDocument;
    const auto at = doc.find(R"({"_profile_name":"P")");
    const std::string p = doc.substr(at, doc.size() - 4 - at);  // without "]}]}"
    const std::string p500 = replaced(p, R"("dpi0":400)", R"("dpi0":500)");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(process(R"({"testData":[{"name":"Right Mouse","profiles":[)" + p +
                        R"(]},{"name":"Right Mouse","profiles":[)" + p + "," + p500 + "]}]}"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Name: Right Mouse\n\nprofile_name: P\nName: Right Mouse\n\nprofile_name: P\n\nprofile_name: P\n");
    const uint16_t dpi[6] = {500, 800, 0, 3200, 6400, 70000 & 0xFFFF};
    EXPECT_TRUE(std::equal(dpi, dpi + 6, pfg_state.dpi_table));
    EXPECT_EQ(pfg_state.freeform_dpi, 10555);
    EXPECT_EQ(pfg_state.ctrl_deadzone, 1596);
    EXPECT_TRUE(pfg_state.freeform_center_joystick_mode);
    ASSERT_EQ(pfg_state.macros.size(), 6u);
    ASSERT_EQ(pfg_state.macros[0].steps.size(), 1u);
    EXPECT_EQ(pfg_state.macros[0].steps[0].duration, 7);
    EXPECT_EQ(newImage(), std::string(kRecords) + " " + kRecords + " " + kRecords);
    EXPECT_EQ(newLog(), "Process profile(P) on Right Mouse start!!!\n");
}

TEST_F(ProcessProfileTest, NothingSelectedLeavesTheStateAlone)
{
    pfg_state.dpi_table[1] = 1234;
    for (const char* profile : {"p", "Other2"})
        EXPECT_TRUE(process(kDocument, profile));
    EXPECT_TRUE(process(kDocument, "P", "RIGHT MOUSE"));
    EXPECT_TRUE(process(R"({"testData":{"name":"Right Mouse"}})"));
    EXPECT_TRUE(process(R"({"other":[]})"));
    EXPECT_EQ(pfg_state.dpi_table[1], 1234);
    EXPECT_EQ(newImage(), "");
}

TEST_F(ProcessProfileTest, FreeformDpiDeadZoneAndJoystickModes)
{
    // 127 would give 1999 with a fused multiply-add; -134 and 217 show
    // whether double precision crept in (31000, 57536).
    const std::pair<int32_t, uint16_t> freeform[] = {{1, 16000}, {100, 5000}, {50, 10555}, {0, 16111},
                                                     {127, 2000}, {200, 59425}, {-134, 30999}, {217, 57537}};
    for (const auto& [setting, dpi] : freeform)
        EXPECT_EQ(freeform_dpi_from_setting(setting), dpi) << setting;
    // Far outside the slider's range the value is still defined.
    EXPECT_EQ(freeform_dpi_from_setting(INT32_MAX), freeform_dpi_from_setting(INT32_MAX));
    freeform_dpi_from_setting(INT32_MIN);

    const std::pair<uint32_t, uint16_t> deadzone[] = {{0, 1000}, {1, 1000}, {2, 1596}, {100, 60004},
                                                      {101, 1000}, {65538, 1596}, {UINT32_MAX, 1000}};
    for (const auto& [setting, value] : deadzone)
        EXPECT_EQ(deadzone_from_setting(setting), value) << setting;

    // Mode 2 keeps the dead zone, mode 1 clears it whatever its value.
    pfg_state.ctrl_deadzone = 77;
    ASSERT_TRUE(process(replaced(kDocument, R"("mode":0,"dead_zone":2)", R"("mode":2)")));
    EXPECT_EQ(pfg_state.ctrl_deadzone, 77);
    ASSERT_TRUE(process(replaced(kDocument, R"("mode":0,"dead_zone":2)", R"("mode":1,"dead_zone":"x")")));
    EXPECT_EQ(pfg_state.ctrl_deadzone, 0);
}

TEST_F(ProcessProfileTest, SchemaBreaksStopWithoutChangingAnything)
{
    const std::string at = "testData[2].profiles[1].";
    const struct {
        std::string from, to, error;
    } cases[] = {
        {R"({"testData":[)", R"({"testData":[,)", "JSON file 'in.json' does not parse: Invalid value. (offset 13)"},
        {R"({"name":"Left Mouse","profiles":[]})", "7", "testData[0] is not an object"},
        {R"("name":"Left Mouse",)", R"("name":1,)", "testData[0].name is not a string"},
        {R"("name":"Right Mouse","profiles")", R"("name":"Right Mouse","profile")", "testData[2].profiles is missing"},
        {R"({"_profile_name":"Other"})", "{}", "testData[2].profiles[0]._profile_name is missing"},
        {R"("_led_data":null,)", "", at + "_led_data is missing"},
        {R"("dpi3":3200)", R"("dpi3":3200.0)", at + "_dpi_data.dpi3 is missing or not an int"},
        {R"("dpi2_ison":false)", R"("dpi2_ison":0)", at + "_dpi_data.dpi2_ison is missing or not a bool"},
        {R"("freeform_dpi":50)", R"("freeform_dpi":2147483648)",
         at + "_dpi_data.freeform_dpi is missing or not an int"},
        {R"("dead_zone":2)", R"("dead_zone":-2)", at + "_control_data.dead_zone is missing or not an unsigned int"},
        {R"("_control_data":{)", R"("_control_data":[],"x":{)", at + "_control_data is not an object"},
        {R"("macro_name":"M")", "\"macro_name\":\"" + std::string(64, 'x') + "\"",
         at + "_macro_data[0].macro_name is 64 bytes or longer"},
        {R"("key_code":0,"duration":7)", R"("key_code":0)",
         at + "_macro_data[0].data[0].duration is missing or not an int"},
        {R"("duration":7)", R"("duration":"7","duration":7)",  // of two members of one name, the first counts
         at + "_macro_data[0].data[0].duration is missing or not an int"},
        {R"("_macro_data":[)", R"("_macro_data":{},"x":[)", at + "_macro_data is not an array"},
        {R"("action_data":"DPI Up")", R"("action_data":5)", at + "_key_data[0].action_data is not a string"},
        {R"({"key_code":99})", "{}", at + "_key_data[1].key_code is missing or not an int"},
        {R"({"key_code":99})", "null", at + "_key_data[1] is not an object"},
        {R"({"key_code":13,"action_type":2,)", R"({"key_code":13,)",
         at + "_key_data[2].action_type is missing or not an int"},
    };
    for (const auto& c : cases) {
        pfg_reset_generation();
        SCOPED_TRACE(c.error);
        EXPECT_FALSE(process(replaced(kDocument, c.from, c.to)));
        EXPECT_NE(newLog().find("[ERROR]          profile 'P' on Right Mouse: " + c.error), std::string::npos);
        EXPECT_EQ(newImage(), "");
        EXPECT_EQ(pfg_state.dpi_table[0], 0);
        EXPECT_TRUE(pfg_state.macros.empty());
    }
    EXPECT_FALSE(process("[1]"));
    EXPECT_NE(newLog().find("the document root is not an object\n"), std::string::npos);

    pfg_reset_generation();
    EXPECT_TRUE(process(replaced(kDocument, R"("duration":7)", R"("duration":8,"duration":"x")")));
    EXPECT_EQ(pfg_state.macros[0].steps[0].duration, 8);
    pfg_reset_generation();
    // The longest macro name that fits the field is accepted.
    EXPECT_TRUE(process(replaced(kDocument, R"("macro_name":"M")", R"("macro_name":")" + std::string(63, 'x') + "\"")));
    EXPECT_EQ(std::string(pfg_state.macros[0].macro_name), std::string(63, 'x'));
}

// Values nested deeper than the recursive parse goes are read all the same
// (the profile compiles as without them), and a broken deep document is
// named by the same error and offset as a shallow one would be.
TEST_F(ProcessProfileTest, NestingOfAnyDepth)
{
    const size_t limit = kRecursiveParseDepth;  // the root object is the first level
    const struct {
        size_t depth;
        bool closed;
    } cases[] = {{limit - 1, true}, {limit, true}, {1000000, true}, {1000000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        pfg_reset_generation();
        const std::string nested = std::string(c.depth, '[') + std::string(c.depth - (c.closed ? 0 : 1), ']');
        EXPECT_EQ(process(replaced(kDocument, R"({"testData":[)", R"({"x":)" + nested + R"(,"testData":[)")), c.closed);
        if (c.closed) {
            EXPECT_EQ(newImage(), kRecords);
        } else {
            EXPECT_NE(newLog().find("does not parse: Missing a comma or ']' after an array element. (offset " +
                                    std::to_string(2 * c.depth + 15) + ")"),
                      std::string::npos);
        }
    }
}

// A file is read whole up to the limit, whether it states its size or not.
TEST_F(ProcessProfileTest, ReadsFilesWholeUpToTheLimit)
{
    writeFile("small.json", kDocument);
    for (const auto& [name, size] : {std::pair{"limit", kMaxJsonFileSize}, std::pair{"over", kMaxJsonFileSize + 1}}) {
        writeFile(name, "");
        std::filesystem::resize_file(name, size);
    }
    // A pipe states no size and holds several times what is read at first.
    const std::string piped = std::string(300000, ' ') + kDocument;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        sigset_t pipeSignal;  // a reader that stopped early fails the test, not the process
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        for (size_t done = 0; done < piped.size();) {
            const ssize_t n = write(fds[1], piped.data() + done, piped.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
    });
    const struct {
        std::string path;
        JsonFileRead result;
        size_t size;
        std::string text;
    } cases[] = {
        {"small.json", JsonFileRead::Read, 0, kDocument},
        {"/dev/fd/" + std::to_string(fds[0]), JsonFileRead::Read, 0, piped},
        {"limit", JsonFileRead::Read, kMaxJsonFileSize, ""},
        {"over", JsonFileRead::TooLarge, 0, ""},
        {".", JsonFileRead::CannotRead, 0, ""},
        {"missing.json", JsonFileRead::CannotRead, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string text;
        EXPECT_EQ(readJsonFile(c.path.c_str(), text), c.result);
        if (c.size != 0) {
            EXPECT_EQ(text.size(), c.size);
        } else if (c.result == JsonFileRead::Read) {
            EXPECT_EQ(text, c.text);
        }
    }
    close(fds[0]);
    writer.join();
}

} // namespace
