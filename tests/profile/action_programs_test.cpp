// The action programs' instruction sequences and the program records that
// write_program appends.
#include <functional>

#include "generator_fixture.h"
#include "profile/action_programs.h"

namespace {

using namespace actions;

class ActionProgramTest : public GeneratorTest {
protected:
    // The record write_program appends for `program` at index 7.
    Bytes record(action_program_t program)
    {
        const size_t before = image().size();
        write_program(pfg_state.pfg_out, 7, program);
        const Bytes all = image();
        return Bytes(all.begin() + static_cast<long>(before), all.end());
    }

    static Bytes expectedRecord(const Bytes& code)
    {
        Bytes r = {7, 0, static_cast<uint8_t>(code.size() & 0xFF), static_cast<uint8_t>(code.size() >> 8)};
        r.insert(r.end(), code.begin(), code.end());
        return r;
    }
};

struct ProgramCase {
    const char* name;
    action_program_t program;
    const char* code;
};

// One binding's parameters: modifier left Shift (mask 02), key "a" (04),
// shared program 0x42, macro total delay 0x0123, repeat count 4, key repeater
// 2 striking Control+"a" with pauses 30..60, profiles 3 and 7.
void stageTypicalParameters()
{
    action_params_t& a = action_params;
    a.modifier = 0xE1;
    a.key = 0x04;
    a.profile_data = 3;
    a.profile_data2 = 7;
    a.repeat_times = 4;
    a.interruptible = true;
    a.macro_total_delay = 0x0123;
    a.repeater_slot = 2;
    a.repeater_key = 0x04;
    a.repeater_modifier = 0xE0;
    a.repeater_delay_from = 30;
    a.repeater_delay_to = 60;
    a.repeater_times = 10;
    pfg_state.next_macro_program = 0x42;
    pfg_state.freeform_center_joystick_mode = true;
}

const ProgramCase kAllPrograms[] = {
    {"left_click_down", left_click_down, "41 02 58 01"},
    {"left_click_up", left_click_up, "59 01 42 02"},
    {"left_click", left_click, "41 02 58 01 59 01 42 02"},
    {"right_click_down", right_click_down, "41 02 58 02"},
    {"right_click_up", right_click_up, "59 02 42 02"},
    {"right_click", right_click, "41 02 58 02 59 02 42 02"},
    {"left_double_click", left_double_click, "41 02 58 01 59 01 10 32 00 58 01 59 01 42 02"},
    {"scroll_click_down", scroll_click_down, "41 02 58 04"},
    {"scroll_click_up", scroll_click_up, "59 04 42 02"},
    {"scroll_click", scroll_click, "41 02 58 04 59 04 42 02"},
    {"scroll_up", scroll_up, "41 02 5A 01 42 02"},
    {"scroll_down", scroll_down, "41 02 5A FF 42 02"},
    {"mouse_button_4", mouse_button_4, "41 02 43 E2 43 50 44 50 44 E2 42 02"},
    {"mouse_button_5", mouse_button_5, "41 02 43 E2 43 4F 44 4F 44 E2 42 02"},
    {"dpi_cycle", dpi_cycle, "5D"},
    {"dpi_up", dpi_up, "5B"},
    {"dpi_down", dpi_down, "5C"},
    {"key_down", key_down, "41 02 43 04"},
    {"key_up", key_up, "44 04 42 02"},
    {"key_stroke", key_stroke, "41 02 43 04 44 04 42 02"},
    {"macro_body without macros", macro_body, ""},
    {"macro_normal", macro_normal, "09 45 00 42 01 23 01 23 01 04 00"},
    {"macro_hold_start", macro_hold_start, "45 00 42 01 23 01 23 01 04 00"},
    {"macro_hold_stop", macro_hold_stop, "45 00 42 00 23 01 23 01 01 00 09"},
    {"macro_toggle", macro_toggle, "45 00 42 01 23 01 23 01 04 00"},
    {"repeater_stroke", repeater_stroke, "41 01 43 04 44 04 42 01"},
    {"repeater_normal", repeater_normal, "45 02 42 00 1E 00 3C 00 0A 00"},
    {"repeater_hold_start", repeater_hold_start, "45 02 42 01 1E 00 3C 00 FF FF"},
    {"repeater_hold_stop", repeater_hold_stop, "45 02 42 00 1E 00 3C 00 FF FF"},
    {"repeater_toggle", repeater_toggle, "45 02 42 01 1E 00 3C 00 FF FF"},
    {"profile_on_press", profile_on_press, "12 03"},
    {"profile_on_release", profile_on_release, "12 03"},
    {"profile_pair_press", profile_pair_press, "12 03"},
    {"profile_pair_release", profile_pair_release, "12 07"},
    {"joystick_hold_on", joystick_hold_on, "52 62"},
    {"joystick_hold_off", joystick_hold_off, "63"},
    {"joystick_toggle", joystick_toggle, "52 64"},
};

TEST_F(ActionProgramTest, EveryProgramAssemblesItsInstructionsIntoOneRecord)
{
    stageTypicalParameters();
    uint16_t count = 0;
    for (const ProgramCase& c : kAllPrograms) {
        EXPECT_EQ(toHex(record(c.program)), toHex(expectedRecord(hex(c.code)))) << c.name;
        EXPECT_EQ(pfg_state.program_count, ++count) << c.name;
        EXPECT_EQ(pfg_state.program_header.index, 7);
        EXPECT_EQ(pfg_state.program_header.size, hex(c.code).size());
    }
}

struct EdgeCase {
    const char* name;
    std::function<void()> stage;
    action_program_t program;
    const char* code;
};

void mk(uint8_t m, uint8_t k)
{
    action_params.modifier = m;
    action_params.key = k;
}

void addMacro(int32_t id, std::vector<ST_MACRO_DATA> steps)
{
    ST_MACRO m{};
    m.macro_id = id;
    m.steps = std::move(steps);
    pfg_state.macros.push_back(std::move(m));
}

TEST_F(ActionProgramTest, KeyCodeRulesAndSpecialParameters)
{
    const EdgeCase cases[] = {
        {"double click with left Control", [] { mk(0xE0, 0xFF); }, left_double_click,
         "41 01 58 01 59 01 10 32 00 58 01 59 01 42 01"},
        {"key stroke without modifier", [] { mk(0xFF, 0x04); }, key_stroke, "43 04 44 04"},
        {"key stroke of a modifier key", [] { mk(0xFF, 0xE1); }, key_stroke, "41 02 42 02"},
        {"key stroke of a modifier alone", [] { mk(0xE0, 0xFF); }, key_stroke, "41 01 42 01"},
        {"right GUI is bit 7", [] { mk(0xE7, 0xFF); }, key_down, "41 80"},
        {"0xFF presses nothing", [] { mk(0xFF, 0xFF); }, key_down, ""},
        {"button 4 with left Alt as modifier", [] { mk(0xE2, 0xFF); }, mouse_button_4, "43 E2 43 50 44 50 44 E2"},
        {"button 4 with left Control", [] { mk(0xE0, 0xFF); }, mouse_button_4,
         "41 01 43 E2 43 50 44 50 44 E2 42 01"},
        {"stroke of a mouse button", [] { action_params.repeater_key = 0x102; }, repeater_stroke, "58 02 59 02"},
        {"stroke without modifier", [] { action_params.repeater_key = 0x2C; action_params.repeater_modifier = 0xFF; },
         repeater_stroke, "43 2C 44 2C"},
        {"joystick hold, centre mode off", [] { pfg_state.freeform_center_joystick_mode = false; }, joystick_hold_on,
         "62"},
        {"joystick release, centre mode off", [] { pfg_state.freeform_center_joystick_mode = false; },
         joystick_hold_off, "52 63"},
        {"profile numbers keep their low byte", [] { action_params.profile_data = 0x105; }, profile_on_press, "12 05"},
    };
    for (const EdgeCase& c : cases) {
        action_params = action_params_t{};
        c.stage();
        EXPECT_EQ(toHex(record(c.program)), toHex(expectedRecord(hex(c.code)))) << c.name;
    }
}

TEST_F(ActionProgramTest, MacroBodyPlaysEveryRecordOfTheBoundIdAndSumsDelays)
{
    addMacro(4, {{0, 0, 323, 0}, {3, 0, 0, 30}, {1, 0, 323, 0}});
    addMacro(5, {{0, 0, 97, 0}});
    action_params.macro_id = 4;
    action_params.delay_from = 10;
    EXPECT_EQ(toHex(record(macro_body)), toHex(expectedRecord(hex("58 01 10 1E 00 59 01"))));
    EXPECT_EQ(action_params.macro_total_delay, 40);

    // A second record with the same id: both play, delay_from counts twice.
    // Keyboard codes, Mouse6, a code outside the key table (nothing), a
    // scroll of -2 and an unknown step type (nothing).
    addMacro(4, {{0, 0, 304, 0}, {0, 0, 329, 0}, {0, 0, 322, 0}, {2, 0x1FE, 0, 0}, {9, 0, 97, 5}, {1, 0, 304, 0}});
    action_params.macro_total_delay = 0;
    EXPECT_EQ(toHex(record(macro_body)),
              toHex(expectedRecord(hex("58 01 10 1E 00 59 01 41 02 58 40 5A FE 42 02"))));
    EXPECT_EQ(action_params.macro_total_delay, 50);
}

TEST_F(ActionProgramTest, LongMacroBodyStopsAtTheBufferEnd)
{
    // 700 delays of 3 bytes: 682 fit into 2048 bytes, the rest are dropped,
    // yet every duration still counts towards the total delay.
    addMacro(1, std::vector<ST_MACRO_DATA>(700, ST_MACRO_DATA{3, 0, 0, 2}));
    action_params.macro_id = 1;
    const Bytes r = record(macro_body);
    ASSERT_EQ(r.size(), 4u + 2046u);
    EXPECT_EQ(r[2] | (r[3] << 8), 2046);
    EXPECT_EQ(action_params.macro_total_delay, 1400);
}

TEST_F(ActionProgramTest, RecordIndexKeepsItsLowByteAndCountWrapIsNoticed)
{
    write_program(pfg_state.pfg_out, 0x104, dpi_cycle);
    EXPECT_EQ(toHex(image()), "04 00 01 00 5D");
    pfg_state.program_count = 0xFFFF;
    write_program(pfg_state.pfg_out, 1, nullptr);
    EXPECT_EQ(pfg_state.program_count, 0);
    EXPECT_TRUE(pfg_state.program_count_overflow);
}

} // namespace
