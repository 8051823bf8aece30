// The action programs' instruction sequences and the program records that
// write_program appends.
#include "profile/action_programs.h"
#include "profile_fixture.h"

namespace {

using namespace actions;

// The parameters of most cases: modifier left Shift (mask 02), key "a"
// (04), shared program 0x42, macro total delay 0x0123, repeat count 4, key
// repeater 2 striking Control+"a" with pauses 30..60, profiles 3 and 7.
void typical()
{
    action_params_t& a = action_params;
    a.modifier = 0xE1, a.key = 0x04, a.profile_data = 3, a.profile_data2 = 7;
    a.repeat_times = 4, a.interruptible = true, a.macro_total_delay = 0x0123;
    a.repeater_slot = 2, a.repeater_key = 0x04, a.repeater_modifier = 0xE0;
    a.repeater_delay_from = 30, a.repeater_delay_to = 60, a.repeater_times = 10;
    pfg_state.next_macro_program = 0x42;
    pfg_state.freeform_center_joystick_mode = true;
}

const struct {
    action_program_t program;
    const char* code;
    void (*stage)() = typical;
} kPrograms[] = {
    {left_click_down, "41 02 58 01"}, {left_click_up, "59 01 42 02"}, {left_click, "41 02 58 01 59 01 42 02"},
    {right_click_down, "41 02 58 02"}, {right_click_up, "59 02 42 02"}, {right_click, "41 02 58 02 59 02 42 02"},
    {left_double_click, "41 02 58 01 59 01 10 32 00 58 01 59 01 42 02"},
    {scroll_click_down, "41 02 58 04"}, {scroll_click_up, "59 04 42 02"}, {scroll_click, "41 02 58 04 59 04 42 02"},
    {scroll_up, "41 02 5A 01 42 02"}, {scroll_down, "41 02 5A FF 42 02"},
    {mouse_button_4, "41 02 43 E2 43 50 44 50 44 E2 42 02"},
    {mouse_button_5, "41 02 43 E2 43 4F 44 4F 44 E2 42 02"},
    {dpi_cycle, "5D"}, {dpi_up, "5B"}, {dpi_down, "5C"},
    {key_down, "41 02 43 04"}, {key_up, "44 04 42 02"}, {key_stroke, "41 02 43 04 44 04 42 02"},
    {macro_body, ""},  // no macros
    {macro_normal, "09 45 00 42 01 23 01 23 01 04 00"},
    {macro_hold_start, "45 00 42 01 23 01 23 01 04 00"},
    {macro_hold_stop, "45 00 42 00 23 01 23 01 01 00 09"},
    {macro_toggle, "45 00 42 01 23 01 23 01 04 00"},
    {repeater_stroke, "41 01 43 04 44 04 42 01"},
    {repeater_normal, "45 02 42 00 1E 00 3C 00 0A 00"},
    {repeater_hold_start, "45 02 42 01 1E 00 3C 00 FF FF"},
    {repeater_hold_stop, "45 02 42 00 1E 00 3C 00 FF FF"},
    {repeater_toggle, "45 02 42 01 1E 00 3C 00 FF FF"},
    {profile_on_press, "12 03"}, {profile_on_release, "12 03"},
    {profile_pair_press, "12 03"}, {profile_pair_release, "12 07"},
    {joystick_hold_on, "52 62"}, {joystick_hold_off, "63"}, {joystick_toggle, "52 64"},
    // Key-code rules: modifier keys as mask bits, 0xFF as nothing.
    {key_stroke, "43 04 44 04", [] { action_params.modifier = 0xFF, action_params.key = 0x04; }},
    {key_stroke, "41 02 42 02", [] { action_params.modifier = 0xFF, action_params.key = 0xE1; }},
    {key_stroke, "41 01 42 01", [] { action_params.modifier = 0xE0, action_params.key = 0xFF; }},
    {key_down, "41 80", [] { action_params.modifier = 0xE7, action_params.key = 0xFF; }},
    {key_down, "", [] { action_params.modifier = 0xFF, action_params.key = 0xFF; }},
    {mouse_button_4, "43 E2 43 50 44 50 44 E2", [] { action_params.modifier = 0xE2, action_params.key = 0xFF; }},
    {repeater_stroke, "58 02 59 02", [] { action_params.repeater_key = 0x102; }},
    {repeater_stroke, "43 2C 44 2C", [] { action_params.repeater_key = 0x2C; }},
    {joystick_hold_on, "62", [] {}},  // centre mode off
    {joystick_hold_off, "52 63", [] {}},
    {profile_on_press, "12 05", [] { action_params.profile_data = 0x105; }},
};

// The record of `code` at index 7: index, reserved byte, 16-bit size, code.
std::string record7(const std::string& code)
{
    const size_t n = hex(code).size();
    char head[32];
    std::snprintf(head, sizeof head, "07 00 %02zX %02zX", n & 0xFF, (n >> 8) & 0xFF);
    return code.empty() ? head : head + (" " + code);
}

TEST_F(ProfileTest, EveryProgramAssemblesItsInstructionsIntoOneRecord)
{
    for (const auto& c : kPrograms) {
        SCOPED_TRACE(c.code);
        action_params = action_params_t{};
        pfg_state.freeform_center_joystick_mode = false;
        c.stage();
        write_program(7, c.program);
        EXPECT_EQ(newImage(), record7(c.code));
    }
}

// Every record of the bound id plays, delay_from counts once per record.
// Keyboard codes, Mouse6, a code outside the key table (nothing), a scroll of
// -2 and an unknown step type (nothing).
TEST_F(ProfileTest, MacroBodyPlaysEveryRecordOfTheBoundIdAndSumsDelays)
{
    addMacro(4, {{0, 0, 323, 0}, {3, 0, 0, 30}, {1, 0, 323, 0}});
    addMacro(5, {{0, 0, 97, 0}});
    addMacro(4, {{0, 0, 304, 0}, {0, 0, 329, 0}, {0, 0, 322, 0}, {2, 0x1FE, 0, 0}, {9, 0, 97, 5}, {1, 0, 304, 0}});
    action_params.macro_id = 4;
    action_params.delay_from = 10;
    write_program(7, macro_body);
    EXPECT_EQ(newImage(), record7("58 01 10 1E 00 59 01 41 02 58 40 5A FE 42 02"));
    EXPECT_EQ(action_params.macro_total_delay, 50);

    // 700 delays of 3 bytes: 682 fit into 2048 bytes; the program is
    // reported unfinished with the size it needs, and every duration still
    // counts towards the total delay once.
    pfg_state.macros.clear();
    pfg_state.macro_index.clear();
    pfg_state.macros_indexed = 0;
    addMacro(4, std::vector<ST_MACRO_DATA>(700, ST_MACRO_DATA{3, 0, 0, 2}));
    action_params.macro_total_delay = action_params.delay_from = 0;
    const AssembledProgram cut = assemble_program(7, macro_body);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.code.size(), 2046u);
    EXPECT_EQ(cut.needed, 2100u);
    EXPECT_EQ(action_params.macro_total_delay, 1400);
}

} // namespace
