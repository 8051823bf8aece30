// The key-binding compiler: program slots, name splitting, every binding
// kind, its log blocks, the shared counters and refused bindings.
#include "generator_fixture.h"
#include "profile/add_action.h"

namespace {

// Configurator button numbers of some firmware inputs.
constexpr int kButton1 = 14, kButton2 = 16, kButton3 = 15, kButton4 = 18, kButton5 = 19;
constexpr int kInput48 = 29, kInput49 = 28, kInput50 = 24;

class AddActionTest : public GeneratorTest {
protected:
    void addMacroSteps()
    {
        ST_MACRO m{};
        m.macro_id = 1;
        m.steps = {{0, 0, 97, 0}, {3, 0, 0, 20}, {1, 0, 97, 0}};
        pfg_state.macros.push_back(m);
    }
};

struct BindingCase {
    const char* name;
    int key_code;
    int action_type;
    const char* action_data;
    const char* records;  // the bytes appended to the image
};

const char* const kMacroBody = "41 00 07 00 43 04 10 14 00 44 04 ";
const char* const kRepeaterStroke = "41 00 04 00 43 04 44 04 ";

const BindingCase kBindings[] = {
    // Keys.
    {"key a on button 3", kButton3, 2, "a", "06 00 02 00 43 04 07 00 02 00 44 04"},
    {"control+c on button 3", kButton3, 2, "leftcontrol+c", "06 00 04 00 41 01 43 06 07 00 04 00 44 06 42 01"},
    {"blanks around a mixed-case modifier", kButton3, 2, " \tLeftShift \t+\t a ",
     "06 00 04 00 41 02 43 04 07 00 04 00 44 04 42 02"},
    {"modifier key alone", kButton3, 2, "leftshift", "06 00 02 00 41 02 07 00 02 00 42 02"},
    {"non-modifier before the plus is dropped", kButton3, 2, "a+b", "06 00 02 00 43 05 07 00 02 00 44 05"},
    {"middle part of two plus signs is ignored", kButton3, 2, "leftalt+x+b",
     "06 00 04 00 41 04 43 05 07 00 04 00 44 05 42 04"},
    {"modifier with an empty key", kButton3, 2, "leftalt + ", "06 00 02 00 41 04 07 00 02 00 42 04"},
    {"key stroke on an unpaired input", kInput48, 2, "leftcontrol+c", "30 00 08 00 41 01 43 06 44 06 42 01"},
    {"none", kButton3, 2, "none", ""},
    {"None", kButton3, 2, "None", ""},
    {"empty", kButton3, 2, "", ""},
    {"null", kButton3, 2, nullptr, ""},
    {"None after a plus", kButton3, 2, "None+None", ""},
    // Mouse and DPI functions.
    {"right click on button 5", kButton5, 1, "Right Click", "0A 00 02 00 58 02 0B 00 02 00 59 02"},
    {"DPI up on button 4", kButton4, 1, "DPI Up", "08 00 01 00 5B"},
    {"scroll click on input 48", kInput48, 1, "Scroll Click", "30 00 04 00 58 04 59 04"},
    {"left click on input 50 has a release", kInput50, 1, "Left Click", "32 00 02 00 58 01 33 00 02 00 59 01"},
    {"control with DPI up", kButton4, 1, "leftcontrol+DPI Up", "08 00 01 00 5B"},
    {"control with left click", kButton3, 1, "leftcontrol + Left Click",
     "06 00 04 00 41 01 58 01 07 00 04 00 59 01 42 01"},
    {"double click", kButton1, 1, "Left Double Click", "02 00 0B 00 58 01 59 01 10 32 00 58 01 59 01"},
    {"button 5", kButton1, 1, "Mouse Button 5", "02 00 08 00 43 E2 43 4F 44 4F 44 E2"},
    {"function names are case-sensitive", kButton3, 1, "left click", ""},
    {"NONE is no function", kButton3, 1, "NONE", ""},
    {"none", kButton3, 1, "none", ""},
    {"null", kButton3, 1, nullptr, ""},
    // Kinds without programs.
    {"type 0", kButton3, 0, "a", ""},
    {"type 6", kButton3, 6, "a", ""},
    {"negative type", kButton3, -1, "a", ""},
    // Profile switches and joystick functions.
    {"profile on release, b = 1", kButton1, 5, R"({"type":2,"data":3,"data2":0})", "03 00 02 00 12 03"},
    {"profile on press", kButton1, 5, R"({"type":0,"data":4,"data2":0})", "02 00 02 00 12 04"},
    {"profile on press, data 0", kButton1, 5, R"({"type":0,"data":0,"data2":0})", ""},
    {"profile on press, unpaired 49", kInput49, 5, R"({"type":0,"data":2,"data2":0})", ""},
    {"profile pair", kButton1, 5, R"({"type":3,"data":1,"data2":2})", "02 00 02 00 12 01 03 00 02 00 12 02"},
    {"profile pair, release only", kButton1, 5, R"({"type":3,"data":-1,"data2":2})", "03 00 02 00 12 02"},
    {"joystick hold", kButton1, 5, R"({"type":1,"data":0,"data2":0})", "02 00 01 00 62 03 00 02 00 52 63"},
    {"joystick toggle on 49", kInput49, 5, R"({"type":1,"data":1,"data2":0})", "31 00 02 00 52 64"},
    {"joystick hold on unpaired 49 writes nothing", kInput49, 5, R"({"type":1,"data":0,"data2":0})", ""},
    {"unknown function type", kButton1, 5, R"({"type":9,"data":1,"data2":1})", ""},
};

TEST_F(AddActionTest, BindingsCompileToTheirProgramRecords)
{
    for (const BindingCase& c : kBindings) {
        const size_t before = image().size();
        add_action(c.key_code, c.action_type, c.action_data);
        const Bytes all = image();
        EXPECT_EQ(toHex(Bytes(all.begin() + static_cast<long>(before), all.end())), toHex(hex(c.records))) << c.name;
    }
    EXPECT_EQ(pfg_state.next_macro_program, 65u);
}

TEST_F(AddActionTest, UnknownNamesAndButtonsAreLogged)
{
    add_action(kButton3, 2, "leftalt+nosuchkey");
    add_action(kButton3, 2, "NONE");
    add_action(kButton3, 1, "nokey + Left Click");
    add_action(0, 2, "a");
    add_action(30, 0, "");
    EXPECT_EQ(toHex(image()), "06 00 02 00 41 04 07 00 02 00 42 04 06 00 02 00 58 01 07 00 02 00 59 01");
    EXPECT_EQ(log(),
              "[ERROR]          find key with description 'nosuchkey' failed\n"
              "[ERROR]          find key with description 'NONE' failed\n"
              "[ERROR]          find key with description 'nokey' failed\n"
              "[ERROR]          find button index with unity mouse button index failed, unity button index = 0\n"
              "[ERROR]          find button index with unity mouse button index failed, unity button index = 30\n");
}

TEST_F(AddActionTest, MacroInEveryMode)
{
    addMacroSteps();
    const std::string base = R"("macro_id":1,"repeat_times":3,"delay_from":5,"delay_to":9,"interruptible":true)";
    struct {
        const char* modes;
        int key_code;
        std::string records;
    } cases[] = {
        {R"("macro_mode":false,"constant_type":false)", kButton2,
         std::string(kMacroBody) + "04 00 0B 00 09 45 00 41 01 19 00 19 00 03 00"},
        {R"("macro_mode":true,"constant_type":true)", kButton2,
         std::string(kMacroBody) + "04 00 0A 00 45 00 41 01 19 00 19 00 FF FF"},
        {R"("macro_mode":true,"constant_type":false)", kButton2,
         std::string(kMacroBody) + "04 00 0A 00 45 00 41 01 19 00 19 00 FF FF 05 00 0B 00 45 00 41 00 19 00 19 00 01 00 09"},
        // While pressed on an unpaired input: the body only, p + 1 untouched.
        {R"("macro_mode":true,"constant_type":false)", kInput48, kMacroBody},
    };
    for (const auto& c : cases) {
        pfg_reset_generation();
        addMacroSteps();
        const size_t before = image().size();
        add_action(c.key_code, 3, (std::string("{") + c.modes + "," + base + "}").c_str());
        const Bytes all = image();
        EXPECT_EQ(toHex(Bytes(all.begin() + static_cast<long>(before), all.end())), toHex(hex(c.records))) << c.modes;
        EXPECT_EQ(pfg_state.next_macro_program, 66u);
    }
    EXPECT_NE(log().find("[MACRO]          bind macro to mouse event 4\n"
                         "[MACRO]          macro_id=1\n"
                         "[MACRO]          macro mode? Normal macro\n"
                         "[MACRO]          constant_type? while pressed\n"
                         "[MACRO]          repeat count=3\n"
                         "[MACRO]          interrupt=1\n"
                         "[MACRO]          macro player delay: 5\n"
                         "[MACRO]          macro total delay: 25\n\n"),
              std::string::npos)
        << log();
    EXPECT_NE(log().find("macro mode? Repeat Macro constanty\n[MACRO]          constant_type? Toggle\n"
                         "[MACRO]          repeat count=3\n"),
              std::string::npos);
}

TEST_F(AddActionTest, KeyRepeaterInEveryMode)
{
    const std::string base = R"("key_code":97,"repeat_times":10,"delay_from":30,"delay_to":60,"delay_type":false,"interruptible":true)";
    const std::string stroke = kRepeaterStroke;
    struct {
        const char* modes;
        int key_code;
        std::string records;
    } cases[] = {
        {R"("key_repeater_mode":false,"key_repeater_constant_type":false)", kButton2,
         stroke + "04 00 0A 00 45 01 41 00 1E 00 3C 00 0A 00"},
        {R"("key_repeater_mode":true,"key_repeater_constant_type":false)", kButton2,
         stroke + "04 00 0A 00 45 01 41 01 1E 00 3C 00 FF FF 05 00 0A 00 45 01 41 00 1E 00 3C 00 FF FF"},
        {R"("key_repeater_mode":true,"key_repeater_constant_type":true)", kButton2,
         stroke + "04 00 0A 00 45 01 41 01 1E 00 3C 00 FF FF"},
        // Constant modes on unpaired inputs: the stroke only, counters still advance.
        {R"("key_repeater_mode":true,"key_repeater_constant_type":true)", kInput49, stroke},
        {R"("key_repeater_mode":true,"key_repeater_constant_type":false)", kInput48, stroke},
    };
    for (const auto& c : cases) {
        pfg_reset_generation();
        action_params.repeater_slot = 1;
        const size_t before = image().size();
        add_action(c.key_code, 4, (std::string("{") + c.modes + "," + base + "}").c_str());
        const Bytes all = image();
        EXPECT_EQ(toHex(Bytes(all.begin() + static_cast<long>(before), all.end())), toHex(hex(c.records))) << c.modes;
        EXPECT_EQ(pfg_state.next_macro_program, 66u);
        EXPECT_EQ(action_params.repeater_slot, 2u);
    }
    EXPECT_NE(log().find("[KEY_REPEATER]   bind following key repeater(code=4) to mouse event 4\n"
                         "[KEY_REPEATER]   repeat count=10, repeat mode? normal, repeat constantly type ? While pressed\n"
                         "[KEY_REPEATER]   delay_from = 30, delay_to = 60\n\n"),
              std::string::npos)
        << log();
    EXPECT_NE(log().find("repeat mode? constantly, repeat constantly type ? toggle\n"), std::string::npos);
}

TEST_F(AddActionTest, KeyRepeaterKeysModifiersAndFixedDelay)
{
    add_action(kButton2, 4, R"({"key_code":325,"modifier_code":306,"repeat_times":1,"delay_from":7,"delay_to":99,)"
                            R"("delay_type":true,"key_repeater_mode":false,"key_repeater_constant_type":false,"interruptible":false})");
    add_action(kButton2, 4, R"({"key_code":97,"modifier_code":304,"repeat_times":1,"delay_from":7,"delay_to":9,)"
                            R"("delay_type":false,"key_repeater_mode":false,"key_repeater_constant_type":false,"interruptible":false})");
    add_action(kButton2, 4, R"({"key_code":98,"modifier_code":97,"repeat_times":1,"delay_from":7,"delay_to":9,)"
                            R"("delay_type":false,"key_repeater_mode":false,"key_repeater_constant_type":false,"interruptible":false})");
    EXPECT_EQ(toHex(image()), toHex(hex("41 00 04 00 58 04 59 04 04 00 0A 00 45 01 41 00 07 00 07 00 01 00 "
                                        "42 00 08 00 41 02 43 04 44 04 42 02 04 00 0A 00 45 02 42 00 07 00 09 00 01 00 "
                                        "43 00 04 00 43 05 44 05 04 00 0A 00 45 03 43 00 07 00 09 00 01 00")));
    EXPECT_NE(log().find("key repeater(code=260) to mouse event 4\n"), std::string::npos);
    EXPECT_NE(log().find("delay_from = 7, delay_to = 7\n"), std::string::npos);
}

TEST_F(AddActionTest, SeventeenthSharedProgramReusesIndex65)
{
    addMacroSteps();
    const char* macro = R"({"macro_id":1,"macro_mode":false,"constant_type":false,"repeat_times":1,)"
                        R"("delay_from":0,"delay_to":0,"interruptible":false})";
    for (int i = 0; i < 16; ++i)
        add_action(kButton2, 3, macro);
    EXPECT_EQ(pfg_state.next_macro_program, 65u);
    const size_t before = image().size();
    add_action(kButton2, 3, macro);
    EXPECT_EQ(image()[before], 65);
    EXPECT_EQ(pfg_state.next_macro_program, 66u);

    // The key-repeater slot runs 1..5 and round, across generations too.
    const char* repeater = R"({"key_code":97,"repeat_times":1,"delay_from":0,"delay_to":0,"delay_type":false,)"
                           R"("key_repeater_mode":false,"key_repeater_constant_type":false,"interruptible":false})";
    for (uint32_t expected : {2u, 3u, 4u, 5u, 1u, 2u}) {
        add_action(kButton2, 4, repeater);
        EXPECT_EQ(action_params.repeater_slot, expected);
    }
    pfg_reset_generation();
    EXPECT_EQ(action_params.repeater_slot, 2u);
}

TEST_F(AddActionTest, RefusedBindingsWriteNothingAndKeepTheCounters)
{
    const struct {
        int type;
        const char* data;
        const char* error;  // empty: refused silently
    } cases[] = {
        {3, R"({"macro_id":-1,"macro_mode":false,"constant_type":false,"repeat_times":1,"delay_from":0,"delay_to":0,"interruptible":false})", ""},
        {4, R"({"key_code":0})", ""},
        {4, R"({"key_code":1000,"repeat_times":1})", "[ERROR]          key repeater key lookup failed pc_code=1000\n"},
        {3, "not json", "[ERROR]          macro binding for mouse event 4 refused: action_data is not a JSON object\n"},
        {3, nullptr, "[ERROR]          macro binding for mouse event 4 refused: action_data is not a JSON object\n"},
        {4, "[97]", "[ERROR]          key repeater binding for mouse event 4 refused: action_data is not a JSON object\n"},
        {3, R"({"macro_id":1,"macro_mode":false,"constant_type":false,"repeat_times":1,"delay_from":0,"interruptible":false})",
         "[ERROR]          macro binding for mouse event 4 refused: member \"delay_to\" is missing or not an int\n"},
        {3, R"({"macro_id":1,"macro_mode":0,"constant_type":false,"repeat_times":1,"delay_from":0,"delay_to":0,"interruptible":false})",
         "[ERROR]          macro binding for mouse event 4 refused: member \"macro_mode\" is missing or not a bool\n"},
        {4, R"({"key_code":97,"repeat_times":1,"delay_from":0,"delay_to":0,"delay_type":false,"key_repeater_mode":false,"key_repeater_constant_type":false})",
         "[ERROR]          key repeater binding for mouse event 4 refused: member \"interruptible\" is missing or not a bool\n"},
        {4, R"({"key_code":97.5})", "[ERROR]          key repeater binding for mouse event 4 refused: member \"key_code\" is missing or not an int\n"},
        {5, R"({"type":0,"data":"2","data2":0})",
         "[ERROR]          profile or joystick binding for mouse event 4 refused: member \"data\" is missing or not an int\n"},
        {5, R"({"type":0,"data":2,"data2":4294967295})",
         "[ERROR]          profile or joystick binding for mouse event 4 refused: member \"data2\" is missing or not an int\n"},
    };
    addMacroSteps();
    for (const auto& c : cases) {
        const std::string before = log();
        add_action(kButton2, c.type, c.data);
        EXPECT_EQ(log().substr(before.size()), c.error) << (c.data ? c.data : "null");
    }
    EXPECT_TRUE(image().empty());
    EXPECT_EQ(pfg_state.program_count, 0);
    EXPECT_EQ(pfg_state.next_macro_program, 65u);
    EXPECT_EQ(action_params.repeater_slot, 1u);
}

} // namespace
