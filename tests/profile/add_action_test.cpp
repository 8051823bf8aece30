// The key-binding compiler: program slots, name splitting, every binding
// kind, its log blocks, the shared counters and refused bindings.
#include <cstring>

#include "profile/add_action.h"
#include "profile_fixture.h"

namespace {

// Configurator button numbers of some firmware inputs.
constexpr int kButton1 = 14, kButton2 = 16, kButton3 = 15, kButton4 = 18;
constexpr int kInput48 = 29, kInput49 = 28, kInput50 = 24;

const std::string kE = "[ERROR]          ";
const std::string kMacroRefused = kE + "macro binding for mouse event 4 refused: ";
const std::string kRepeaterRefused = kE + "key repeater binding for mouse event 4 refused: ";
const std::string kFunctionRefused = kE + "profile or joystick binding for mouse event 4 refused: ";
const std::string kMacro = R"({"macro_id":1,"repeat_times":3,"delay_from":5,"delay_to":9,"interruptible":true,)";
const std::string kRepeater = R"({"key_code":97,"repeat_times":10,"delay_from":30,"delay_to":60,"delay_type":false,)"
                              R"("interruptible":true,)";
const std::string kRepeaterOnce = R"({"repeat_times":1,"delay_from":7,"delay_to":9,"key_repeater_mode":false,)"
                                  R"("key_repeater_constant_type":false,"interruptible":false,)";
const std::string kMacroNormal = kMacro + R"("macro_mode":false,"constant_type":false})";
const std::string kRepeaterNormal = kRepeater + R"("key_repeater_mode":false,"key_repeater_constant_type":false})";
// Macro 1 (press "a", 20 ms, release "a") as shared program 65, and a
// key-repeater stroke of "a".
const std::string kMacroBody = "41 00 07 00 43 04 10 14 00 44 04 ";
const std::string kStroke = "41 00 04 00 43 04 44 04 ";

struct Binding {
    int key_code;
    int action_type;
    std::string data;
    std::string records;  // the bytes appended to the image
    std::string log = ""; // the log lines added (macros and repeaters: a part of them)
    bool null = false;    // action_data is a null pointer
};

const Binding kBindings[] = {
    // Keys.
    {kButton3, 2, "a", "06 00 02 00 43 04 07 00 02 00 44 04"},
    {kButton3, 2, " \tLeftShift \t+\t a ", "06 00 04 00 41 02 43 04 07 00 04 00 44 04 42 02"},
    {kButton3, 2, "leftshift", "06 00 02 00 41 02 07 00 02 00 42 02"},
    {kButton3, 2, "leftalt+x+b", "06 00 04 00 41 04 43 05 07 00 04 00 44 05 42 04"},  // non-modifier before '+' dropped
    {kButton3, 2, "leftalt + ", "06 00 02 00 41 04 07 00 02 00 42 04"},
    {kInput48, 2, "leftcontrol+c", "30 00 08 00 41 01 43 06 44 06 42 01"},  // unpaired: one stroke
    {kButton3, 2, "none", ""}, {kButton3, 2, "None", ""}, {kButton3, 2, "", ""}, {kButton3, 2, "", "", "", true},
    {kButton3, 2, "None+None", ""},
    {kButton3, 2, "leftalt+nosuchkey", "06 00 02 00 41 04 07 00 02 00 42 04",
     kE + "find key with description 'nosuchkey' failed\n"},
    {kButton3, 2, "NONE", "", kE + "find key with description 'NONE' failed\n"},
    {kButton3, 2, "a+" + std::string(70, 'q'), "", kE + "find key with description '" + std::string(63, 'q') + "' failed\n"},
    {0, 2, "a", "", kE + "find button index with unity mouse button index failed, unity button index = 0\n"},
    // Mouse and DPI functions.
    {kInput48, 1, "Scroll Click", "30 00 04 00 58 04 59 04"},
    {kInput50, 1, "Left Click", "32 00 02 00 58 01 33 00 02 00 59 01"},
    {kButton4, 1, "leftcontrol+DPI Up", "08 00 01 00 5B"},
    {kButton3, 1, "leftcontrol + Left Click", "06 00 04 00 41 01 58 01 07 00 04 00 59 01 42 01"},
    {kButton3, 1, "nokey + Left Click", "06 00 02 00 58 01 07 00 02 00 59 01",
     kE + "find key with description 'nokey' failed\n"},
    {kButton1, 1, "Left Double Click", "02 00 0B 00 58 01 59 01 10 32 00 58 01 59 01"},
    {kButton3, 1, "left click", ""},  // names are case-sensitive
    {kButton3, 1, "NONE", ""}, {kButton3, 1, "none", ""}, {kButton3, 1, "", "", "", true},
    // Kinds without programs.
    {kButton3, 0, "a", ""}, {kButton3, 6, "a", ""}, {kButton3, -1, "a", ""},
    // Macros in every mode; while pressed on an unpaired input: the body
    // only, the next input's press index untouched.
    {kButton2, 3, kMacroNormal,
     kMacroBody + "04 00 0B 00 09 45 00 41 01 19 00 19 00 03 00",
     "[MACRO]          bind macro to mouse event 4\n[MACRO]          macro_id=1\n"
     "[MACRO]          macro mode? Normal macro\n[MACRO]          constant_type? while pressed\n"
     "[MACRO]          repeat count=3\n[MACRO]          interrupt=1\n"
     "[MACRO]          macro player delay: 5\n[MACRO]          macro total delay: 25\n\n"},
    {kButton2, 3, kMacro + R"("macro_mode":true,"constant_type":true})",
     kMacroBody + "04 00 0A 00 45 00 41 01 19 00 19 00 FF FF",
     "macro mode? Repeat Macro constanty\n[MACRO]          constant_type? Toggle\n[MACRO]          repeat count=3\n"},
    {kButton2, 3, kMacro + R"("macro_mode":true,"constant_type":false})",
     kMacroBody + "04 00 0A 00 45 00 41 01 19 00 19 00 FF FF 05 00 0B 00 45 00 41 00 19 00 19 00 01 00 09"},
    {kInput48, 3, kMacro + R"("macro_mode":true,"constant_type":false})", kMacroBody},
    // Key repeaters in every mode; constant modes on unpaired inputs: the
    // stroke only.
    {kButton2, 4, kRepeaterNormal,
     kStroke + "04 00 0A 00 45 01 41 00 1E 00 3C 00 0A 00",
     "[KEY_REPEATER]   bind following key repeater(code=4) to mouse event 4\n"
     "[KEY_REPEATER]   repeat count=10, repeat mode? normal, repeat constantly type ? While pressed\n"
     "[KEY_REPEATER]   delay_from = 30, delay_to = 60\n\n"},
    {kButton2, 4, kRepeater + R"("key_repeater_mode":true,"key_repeater_constant_type":false})",
     kStroke + "04 00 0A 00 45 01 41 01 1E 00 3C 00 FF FF 05 00 0A 00 45 01 41 00 1E 00 3C 00 FF FF"},
    {kButton2, 4, kRepeater + R"("key_repeater_mode":true,"key_repeater_constant_type":true})",
     kStroke + "04 00 0A 00 45 01 41 01 1E 00 3C 00 FF FF",
     "repeat mode? constantly, repeat constantly type ? toggle\n"},
    {kInput49, 4, kRepeater + R"("key_repeater_mode":true,"key_repeater_constant_type":true})", kStroke},
    {kInput48, 4, kRepeater + R"("key_repeater_mode":true,"key_repeater_constant_type":false})", kStroke},
    // Repeater keys: a mouse button with a fixed pause, Shift+"a", and a
    // non-modifier as modifier (dropped).
    {kButton2, 4, kRepeaterOnce + R"("key_code":325,"modifier_code":306,"delay_type":true})",
     "41 00 04 00 58 04 59 04 04 00 0A 00 45 01 41 00 07 00 07 00 01 00",
     "key repeater(code=260) to mouse event 4\n[KEY_REPEATER]   repeat count=1, repeat mode? normal, "
     "repeat constantly type ? While pressed\n[KEY_REPEATER]   delay_from = 7, delay_to = 7\n"},
    {kButton2, 4, kRepeaterOnce + R"("key_code":97,"modifier_code":304,"delay_type":false})",
     "41 00 08 00 41 02 43 04 44 04 42 02 04 00 0A 00 45 01 41 00 07 00 09 00 01 00"},
    {kButton2, 4, kRepeaterOnce + R"("key_code":98,"modifier_code":97,"delay_type":false})",
     "41 00 04 00 43 05 44 05 04 00 0A 00 45 01 41 00 07 00 09 00 01 00"},
    // Profile switches and joystick functions.
    {kButton1, 5, R"({"type":2,"data":3,"data2":0})", "03 00 02 00 12 03"},  // on release
    {kButton1, 5, R"({"type":0,"data":4,"data2":0})", "02 00 02 00 12 04"},  // on press
    {kButton1, 5, R"({"type":0,"data":0,"data2":0})", ""}, {kInput49, 5, R"({"type":0,"data":2,"data2":0})", ""},
    {kButton1, 5, R"({"type":3,"data":1,"data2":2})", "02 00 02 00 12 01 03 00 02 00 12 02"},
    {kButton1, 5, R"({"type":3,"data":-1,"data2":2})", "03 00 02 00 12 02"},
    {kButton1, 5, R"({"type":1,"data":0,"data2":0})", "02 00 01 00 62 03 00 02 00 52 63"},
    {kInput49, 5, R"({"type":1,"data":1,"data2":0})", "31 00 02 00 52 64"},
    {kInput49, 5, R"({"type":1,"data":0,"data2":0})", ""},  // hold on unpaired 49: nothing at p + 1
    {kButton1, 5, R"({"type":9,"data":1,"data2":1})", ""},
    // Refused bindings: no program, no counter advanced.
    {kButton2, 3, replaced(kMacroNormal, R"("macro_id":1)", R"("macro_id":-1)"), ""},
    {kButton2, 4, R"({"key_code":0})", ""},
    {kButton2, 4, R"({"key_code":1000,"repeat_times":1})", "", kE + "key repeater key lookup failed pc_code=1000\n"},
    {kButton2, 4, R"({"key_code":-1,"repeat_times":1})", "", kE + "key repeater key lookup failed pc_code=-1\n"},
    {kButton2, 3, replaced(kMacroNormal, R"("macro_id":1)", R"("macro_id":2)"), "",
     kMacroRefused + "macro 2 'long' needs 2100 bytes, more than the 2048 a program holds\n"},
    {kButton2, 3, "", "", kMacroRefused + "action_data is not a JSON object\n", true},
    {kButton2, 4, "[97]", "", kRepeaterRefused + "action_data is not a JSON object\n"},
    {kButton2, 3, replaced(kMacroNormal, R"("delay_to":9,)", ""), "",
     kMacroRefused + "member \"delay_to\" is missing or not an int\n"},
    {kButton2, 3, kMacro + R"("macro_mode":0,"constant_type":false})", "",
     kMacroRefused + "member \"macro_mode\" is missing or not a bool\n"},
    {kButton2, 4, replaced(kRepeaterNormal, R"("interruptible":true,)", ""), "",
     kRepeaterRefused + "member \"interruptible\" is missing or not a bool\n"},
    {kButton2, 4, R"({"key_code":97.5})", "", kRepeaterRefused + "member \"key_code\" is missing or not an int\n"},
    {kButton2, 5, R"({"type":0,"data":2,"data2":4294967295})", "",
     kFunctionRefused + "member \"data2\" is missing or not an int\n"},
};

// Macro 1: press "a", 20 ms, release "a"; macro 2 "long": 700 delays of
// 3 bytes, more than a program holds.
void addMacro1()
{
    addMacro(1, {{0, 0, 97, 0}, {3, 0, 0, 20}, {1, 0, 97, 0}});
    addMacro(2, std::vector<ST_MACRO_DATA>(700, ST_MACRO_DATA{3, 0, 0, 2}));
    std::strcpy(pfg_state.macros.back().macro_name, "long");
}

TEST_F(ProfileTest, BindingsCompileToTheirProgramRecords)
{
    for (const Binding& c : kBindings) {
        SCOPED_TRACE(std::to_string(c.action_type) + " " + c.data);
        pfg_reset_generation();
        action_params.repeater_slot = 1;
        addMacro1();
        add_action(c.key_code, c.action_type, c.null ? nullptr : c.data.c_str());
        EXPECT_EQ(newImage(), toHex(hex(c.records)));
        // Macros and key repeaters that got through advance the counters and log a block.
        const bool shared = (c.action_type == 3 || c.action_type == 4) && !c.records.empty();
        if (shared)
            EXPECT_NE(newLog().find(c.log), std::string::npos);
        else
            EXPECT_EQ(newLog(), c.log);
        EXPECT_EQ(pfg_state.next_macro_program, shared ? 66u : 65u);
        EXPECT_EQ(action_params.repeater_slot, shared && c.action_type == 4 ? 2u : 1u);
    }
}

TEST_F(ProfileTest, SharedProgramsRunOutAndTheRepeaterCounterWraps)
{
    addMacro1();
    for (int i = 0; i < 16; ++i)
        add_action(kButton2, i % 2 == 0 ? 3 : 4, (i % 2 == 0 ? kMacroNormal : kRepeaterNormal).c_str());
    newImage();
    newLog();
    add_action(kButton2, 3, kMacroNormal.c_str());  // the 17th: refused, not 65 again
    add_action(kButton2, 4, kRepeaterNormal.c_str());
    EXPECT_EQ(newImage(), "");
    EXPECT_EQ(newLog(), kMacroRefused + "all 16 shared programs (65..80) are taken\n" + kRepeaterRefused +
                            "all 16 shared programs (65..80) are taken\n");
    EXPECT_EQ(pfg_state.next_macro_program, 81u);
    pfg_reset_generation();
    EXPECT_EQ(pfg_state.next_macro_program, 65u);
    action_params.repeater_slot = 1;

    // The key-repeater slot runs 1..5 and round, across generations too.
    for (uint32_t expected : {2u, 3u, 4u, 5u, 1u, 2u}) {
        add_action(kButton2, 4, kRepeaterNormal.c_str());
        EXPECT_EQ(action_params.repeater_slot, expected);
    }
    pfg_reset_generation();
    EXPECT_EQ(action_params.repeater_slot, 2u);
}

} // namespace
