// The action programs: the fixed instruction sequences that every program of
// a profile image is made of, and write_program, which assembles one of them
// and appends it to the image as a program record.
//
// An action program takes the program under assembly and reads what varies
// per binding from action_params (and the joystick mode and macro list from
// pfg_state); it captures nothing.
#ifndef ZENTROVA_PROFILE_ACTION_PROGRAMS_H
#define ZENTROVA_PROFILE_ACTION_PROGRAMS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zentrova/program/opcode.h"

using action_program_t = void (*)(pgm_t*);

/// Size of the buffer every program is assembled in.
constexpr uint16_t kProgramBufferSize = 2048;

/// Presses HID code h: modifier keys 0xE0..0xE7 as modifier bits, 0xFF not
/// at all, anything else as a key press.
void press_code(pgm_t* p, uint8_t h);
/// Releases HID code h, the counterpart of press_code.
void release_code(pgm_t* p, uint8_t h);

/// One program assembled for the image but not yet in it.
struct AssembledProgram {
    uint8_t index = 0;          ///< low 8 bits of the requested index
    std::vector<uint8_t> code;  ///< the bytecode
    /// Every instruction fitted in the program buffer. When one did not,
    /// `code` is cut short and `needed` tells how long the program would be.
    bool complete = true;
    size_t needed = 0;
};

/// Assembles `action` in a fresh 2048-byte buffer.
AssembledProgram assemble_program(unsigned index, action_program_t action);

/// Appends `program` to pfg_state.image as a record (index, reserved 0, the
/// bytecode); updates program_header and counts the record.
void append_program(const AssembledProgram& program);

/// assemble_program, then append_program whatever came out.
void write_program(unsigned index, action_program_t action);

namespace actions {
// Mouse functions: M is action_params.modifier.
void left_click_down(pgm_t* p);
void left_click_up(pgm_t* p);
void left_click(pgm_t* p);
void right_click_down(pgm_t* p);
void right_click_up(pgm_t* p);
void right_click(pgm_t* p);
void left_double_click(pgm_t* p);
void scroll_click_down(pgm_t* p);
void scroll_click_up(pgm_t* p);
void scroll_click(pgm_t* p);
void scroll_up(pgm_t* p);
void scroll_down(pgm_t* p);
void mouse_button_4(pgm_t* p);
void mouse_button_5(pgm_t* p);
// DPI functions.
void dpi_cycle(pgm_t* p);
void dpi_up(pgm_t* p);
void dpi_down(pgm_t* p);
// Keyboard keys: M modifier, K key.
void key_down(pgm_t* p);
void key_up(pgm_t* p);
void key_stroke(pgm_t* p);
// Macros: the body plays the bound macro's steps and sums its delays; the
// triggers start it (program next_macro_program) on the repeater 0.
void macro_body(pgm_t* p);
void macro_normal(pgm_t* p);
void macro_hold_start(pgm_t* p);
void macro_hold_stop(pgm_t* p);
void macro_toggle(pgm_t* p);
// Key repeaters: the stroke strikes the key or mouse button once; the
// triggers run it on repeater repeater_slot.
void repeater_stroke(pgm_t* p);
void repeater_normal(pgm_t* p);
void repeater_hold_start(pgm_t* p);
void repeater_hold_stop(pgm_t* p);
void repeater_toggle(pgm_t* p);
// Profile switches.
void profile_on_press(pgm_t* p);
void profile_on_release(pgm_t* p);
void profile_pair_press(pgm_t* p);
void profile_pair_release(pgm_t* p);
// Joystick functions.
void joystick_hold_on(pgm_t* p);
void joystick_hold_off(pgm_t* p);
void joystick_toggle(pgm_t* p);
} // namespace actions

#endif
