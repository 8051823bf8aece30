// The 37 action programs and the program writer.
#include "profile/action_programs.h"

#include <algorithm>

#include "profile/action_params.h"
#include "profile/pfg_state.h"
#include "zentrova/profile/key_tables.h"

namespace {

constexpr uint8_t kFirstModifier = 0xE0;
constexpr uint8_t kLastModifier = 0xE7;

// Mouse button masks of the mouse_press / mouse_release operands.
constexpr uint8_t kLeftButton = 1;
constexpr uint8_t kRightButton = 2;
constexpr uint8_t kMiddleButton = 4;

// Keys of the browser back/forward shortcuts sent for mouse buttons 4 and 5.
constexpr uint8_t kLeftAltKey = 0xE2;
constexpr uint8_t kLeftArrowKey = 0x50;
constexpr uint8_t kRightArrowKey = 0x4F;

constexpr uint16_t kDoubleClickGap = 50;
constexpr uint16_t kRepeatUntilStopped = 65535;

// Unity KeyCodes Mouse0..Mouse6 stand for mouse buttons in macros.
constexpr uint32_t kUnityMouse0 = 323;
constexpr uint32_t kUnityMouseButtons = 7;

// Macro step types.
enum : int32_t { kStepPress = 0, kStepRelease = 1, kStepScroll = 2, kStepDelay = 3 };

inline bool isModifier(uint8_t h) { return h >= kFirstModifier && h <= kLastModifier; }

inline uint8_t lo8(uint32_t v) { return static_cast<uint8_t>(v & 0xFFu); }
inline uint16_t lo16(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFFu); }

// Sums as the firmware's 32-bit arithmetic does, without signed overflow.
inline int32_t wrappingAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Mask of a Unity mouse-button KeyCode, or 0 when the code is a keyboard code.
inline uint8_t unityMouseMask(int32_t keyCode)
{
    const uint32_t button = static_cast<uint32_t>(keyCode) - kUnityMouse0;
    return button < kUnityMouseButtons ? static_cast<uint8_t>(1u << button) : 0;
}

void clickWithModifier(pgm_t* p, uint8_t buttons)
{
    const uint8_t m = action_params.modifier;
    press_code(p, m);
    opcode_mouse_press(p, buttons);
    opcode_mouse_release(p, buttons);
    release_code(p, m);
}

void altArrow(pgm_t* p, uint8_t arrow)
{
    const uint8_t m = action_params.modifier;
    if (m != kLeftAltKey)
        press_code(p, m);
    opcode_key_press(p, kLeftAltKey);
    opcode_key_press(p, arrow);
    opcode_key_release(p, arrow);
    opcode_key_release(p, kLeftAltKey);
    if (m != kLeftAltKey)
        release_code(p, m);
}

void macroStep(pgm_t* p, const ST_MACRO_DATA& step)
{
    switch (step.type) {
    case kStepPress:
    case kStepRelease: {
        const uint8_t mask = unityMouseMask(step.key_code);
        const bool press = step.type == kStepPress;
        if (mask != 0) {
            if (press)
                opcode_mouse_press(p, mask);
            else
                opcode_mouse_release(p, mask);
            break;
        }
        const uint8_t hid = lo8(static_cast<uint32_t>(pccode_to_hidcode(step.key_code)));
        if (press)
            press_code(p, hid);
        else
            release_code(p, hid);
        break;
    }
    case kStepScroll:
        opcode_mouse_scroll(p, static_cast<signed char>(lo8(static_cast<uint32_t>(step.scroll_angle))));
        break;
    case kStepDelay:
        opcode_delay(p, lo16(static_cast<uint32_t>(step.duration)));
        action_params.macro_total_delay = wrappingAdd(action_params.macro_total_delay, step.duration);
        break;
    default:
        break;
    }
}

// repeater_start of a macro trigger: repeater 0, the macro's shared program,
// the total delay as both pause bounds.
void macroRepeater(pgm_t* p, uint8_t flag, uint16_t count)
{
    const uint16_t total = lo16(static_cast<uint32_t>(action_params.macro_total_delay));
    opcode_repeater_start(p, 0, lo8(pfg_state.next_macro_program), flag, total, total, count);
}

void keyRepeater(pgm_t* p, uint8_t flag, uint16_t count)
{
    const action_params_t& a = action_params;
    opcode_repeater_start(p, lo8(a.repeater_slot), lo8(pfg_state.next_macro_program), flag,
                          lo16(static_cast<uint32_t>(a.repeater_delay_from)),
                          lo16(static_cast<uint32_t>(a.repeater_delay_to)), count);
}

void changeProfile(pgm_t* p, int32_t profile)
{
    opcode_change_profile(p, lo8(static_cast<uint32_t>(profile)));
}

} // namespace

void press_code(pgm_t* p, uint8_t h)
{
    if (isModifier(h))
        opcode_key_modifier_set(p, static_cast<unsigned char>(1u << (h - kFirstModifier)));
    else if (h != kNoKey)
        opcode_key_press(p, h);
}

void release_code(pgm_t* p, uint8_t h)
{
    if (isModifier(h))
        opcode_key_modifier_clr(p, static_cast<unsigned char>(1u << (h - kFirstModifier)));
    else if (h != kNoKey)
        opcode_key_release(p, h);
}

AssembledProgram assemble_program(unsigned index, action_program_t action)
{
    AssembledProgram out;
    out.index = lo8(index);
    uint8_t buffer[kProgramBufferSize];
    pgm_t program{buffer, kProgramBufferSize, buffer};
    const action_params_t params = action_params;
    if (action != nullptr)
        action(&program);
    out.code.assign(buffer, program.cursor);
    out.needed = out.code.size();
    // An emitter drops an instruction only when fewer bytes than it needs
    // are left, which no instruction's need exceeds kMaxRoom. A program that
    // ends further from the end lost nothing; one that ends closer is
    // assembled again in a larger buffer to see whether anything was dropped.
    constexpr size_t kMaxRoom = 16;
    if (action == nullptr || out.needed + kMaxRoom < kProgramBufferSize)
        return out;
    constexpr uint16_t kLargest = 65535;
    std::vector<uint8_t> large(kLargest);
    pgm_t whole{large.data(), kLargest, large.data()};
    action_params = params;
    action(&whole);
    const size_t size = static_cast<size_t>(whole.cursor - whole.base);
    out.complete = size == out.code.size() && std::equal(out.code.begin(), out.code.end(), large.begin());
    out.needed = size;
    return out;
}

void append_program(const AssembledProgram& program)
{
    pfg_program_header_t& header = pfg_state.program_header;
    header.index = program.index;
    header.reserved = 0;
    header.size = static_cast<uint16_t>(program.code.size());
    pfg_state.image.programs.push_back({header.index, header.reserved, program.code});
    if (++pfg_state.program_count == 0)
        pfg_state.program_count_overflow = true;
}

void write_program(unsigned index, action_program_t action) { append_program(assemble_program(index, action)); }

namespace actions {

void left_click_down(pgm_t* p)
{
    press_code(p, action_params.modifier);
    opcode_mouse_press(p, kLeftButton);
}

void left_click_up(pgm_t* p)
{
    opcode_mouse_release(p, kLeftButton);
    release_code(p, action_params.modifier);
}

void left_click(pgm_t* p) { clickWithModifier(p, kLeftButton); }

void right_click_down(pgm_t* p)
{
    press_code(p, action_params.modifier);
    opcode_mouse_press(p, kRightButton);
}

void right_click_up(pgm_t* p)
{
    opcode_mouse_release(p, kRightButton);
    release_code(p, action_params.modifier);
}

void right_click(pgm_t* p) { clickWithModifier(p, kRightButton); }

void left_double_click(pgm_t* p)
{
    press_code(p, action_params.modifier);
    opcode_mouse_press(p, kLeftButton);
    opcode_mouse_release(p, kLeftButton);
    opcode_delay(p, kDoubleClickGap);
    opcode_mouse_press(p, kLeftButton);
    opcode_mouse_release(p, kLeftButton);
    release_code(p, action_params.modifier);
}

void scroll_click_down(pgm_t* p)
{
    press_code(p, action_params.modifier);
    opcode_mouse_press(p, kMiddleButton);
}

void scroll_click_up(pgm_t* p)
{
    opcode_mouse_release(p, kMiddleButton);
    release_code(p, action_params.modifier);
}

void scroll_click(pgm_t* p) { clickWithModifier(p, kMiddleButton); }

void scroll_up(pgm_t* p)
{
    press_code(p, action_params.modifier);
    opcode_mouse_scroll(p, 1);
    release_code(p, action_params.modifier);
}

void scroll_down(pgm_t* p)
{
    press_code(p, action_params.modifier);
    opcode_mouse_scroll(p, -1);
    release_code(p, action_params.modifier);
}

void mouse_button_4(pgm_t* p) { altArrow(p, kLeftArrowKey); }
void mouse_button_5(pgm_t* p) { altArrow(p, kRightArrowKey); }

void dpi_cycle(pgm_t* p) { opcode_dpi_cycle(p); }
void dpi_up(pgm_t* p) { opcode_dpi_increase(p); }
void dpi_down(pgm_t* p) { opcode_dpi_decrease(p); }

void key_down(pgm_t* p)
{
    press_code(p, action_params.modifier);
    press_code(p, action_params.key);
}

void key_up(pgm_t* p)
{
    release_code(p, action_params.key);
    release_code(p, action_params.modifier);
}

void key_stroke(pgm_t* p)
{
    press_code(p, action_params.modifier);
    if (action_params.key != kNoKey) {
        press_code(p, action_params.key);
        release_code(p, action_params.key);
    }
    release_code(p, action_params.modifier);
}

void macro_body(pgm_t* p)
{
    const std::vector<size_t>* found = pfg_find_macros(action_params.macro_id);
    if (found == nullptr)
        return;
    for (const size_t at : *found) {
        const ST_MACRO& macro = pfg_state.macros[at];
        for (const ST_MACRO_DATA& step : macro.steps)
            macroStep(p, step);
        action_params.macro_total_delay = wrappingAdd(action_params.macro_total_delay, action_params.delay_from);
    }
}

void macro_normal(pgm_t* p)
{
    opcode_unroll_stack(p);
    macroRepeater(p, action_params.interruptible ? 1 : 0, lo16(static_cast<uint32_t>(action_params.repeat_times)));
}

void macro_hold_start(pgm_t* p) { macroRepeater(p, 1, lo16(static_cast<uint32_t>(action_params.repeat_times))); }

void macro_hold_stop(pgm_t* p)
{
    macroRepeater(p, 0, 1);
    opcode_unroll_stack(p);
}

void macro_toggle(pgm_t* p) { macroRepeater(p, 1, lo16(static_cast<uint32_t>(action_params.repeat_times))); }

void repeater_stroke(pgm_t* p)
{
    const uint32_t key = action_params.repeater_key;
    if (((key >> 8u) & 0xFFu) == 0x01u) {
        opcode_mouse_press(p, lo8(key));
        opcode_mouse_release(p, lo8(key));
        return;
    }
    const uint8_t modifier = lo8(action_params.repeater_modifier);
    press_code(p, modifier);
    press_code(p, lo8(key));
    release_code(p, lo8(key));
    release_code(p, modifier);
}

void repeater_normal(pgm_t* p) { keyRepeater(p, 0, lo16(static_cast<uint32_t>(action_params.repeater_times))); }
void repeater_hold_start(pgm_t* p) { keyRepeater(p, 1, kRepeatUntilStopped); }
void repeater_hold_stop(pgm_t* p) { keyRepeater(p, 0, kRepeatUntilStopped); }
void repeater_toggle(pgm_t* p) { keyRepeater(p, 1, kRepeatUntilStopped); }

void profile_on_press(pgm_t* p) { changeProfile(p, action_params.profile_data); }
void profile_on_release(pgm_t* p) { changeProfile(p, action_params.profile_data); }
void profile_pair_press(pgm_t* p) { changeProfile(p, action_params.profile_data); }
void profile_pair_release(pgm_t* p) { changeProfile(p, action_params.profile_data2); }

void joystick_hold_on(pgm_t* p)
{
    if (pfg_state.freeform_center_joystick_mode)
        opcode_joy_zero(p);
    opcode_joy_on(p);
}

void joystick_hold_off(pgm_t* p)
{
    if (!pfg_state.freeform_center_joystick_mode)
        opcode_joy_zero(p);
    opcode_joy_off(p);
}

void joystick_toggle(pgm_t* p)
{
    opcode_joy_zero(p);
    opcode_joy_toggle(p);
}

} // namespace actions
