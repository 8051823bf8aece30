// Macro program assembler: the bytecode the mouse firmware executes.
//
// A program is a bare sequence of instructions (no header, no terminator):
// one opcode byte followed by its operands. 16-bit operands are little-endian,
// signed values two's complement; the 24-bit operand of opcode_set_led_ctrl is
// the one big-endian field.
//
// Every append emitter writes one instruction at p->cursor and returns the
// offset (cursor - base, 16 bits) where it starts. Each instruction needs a
// number of free bytes ("room") before anything is written; room equals the
// instruction length except for opcode_unroll_stack and opcode_joy_zero (write
// 1, need 3) and opcode_repeater_stop (writes 2, needs 5). An instruction that
// does not fit is dropped silently: cursor stays put and the return value is
// the same offset as on success, so a caller that must know compares cursor
// before and after. A null program, a null base or a cursor outside
// [base, base + capacity] also makes every emitter write nothing.
//
// The three patch overloads (opcode_jump, opcode_jump_if_pressed,
// opcode_jump_if_released with an `at` offset) write the complete jump at `at`
// if it lies wholly inside [0, capacity), never move cursor, and return `at`:
// emit the jump with any target, keep its offset, emit the body, then patch
// the final target in.
//
// Linkage: C++ (the jump emitters are overloaded). None of these functions
// throws, allocates or keeps state.
#ifndef ZENTROVA_PROGRAM_OPCODE_H
#define ZENTROVA_PROGRAM_OPCODE_H

#include <cstdint>

#include "zentrova/export.h"

/// A program under assembly. The caller owns the buffer and sets
/// cursor = base before the first emitter call.
struct pgm_t {
    uint8_t* base;      ///< first byte of the program buffer
    uint16_t capacity;  ///< bytes usable from base
    uint8_t* cursor;    ///< write position of the next instruction
};

// Opcode bytes.
enum : uint8_t {
    OPCODE_NOP = 0x00,
    OPCODE_JUMP = 0x01,
    OPCODE_JUMP_IF_PRESSED = 0x02,
    OPCODE_JUMP_IF_RELEASED = 0x03,
    OPCODE_SET_LOOP_COUNTER = 0x04,
    OPCODE_LOOP = 0x05,
    OPCODE_LOCK = 0x06,
    OPCODE_UNLOCK = 0x07,
    OPCODE_CANCEL = 0x08,
    OPCODE_UNROLL_STACK = 0x09,
    OPCODE_DELAY = 0x10,
    OPCODE_DELAY_RANDOM = 0x11,
    OPCODE_CHANGE_PROFILE = 0x12,
    OPCODE_EXECUTE_LED_PROGRAM = 0x13,
    OPCODE_KEY_MODIFIER = 0x40,
    OPCODE_KEY_MODIFIER_SET = 0x41,
    OPCODE_KEY_MODIFIER_CLR = 0x42,
    OPCODE_KEY_PRESS = 0x43,
    OPCODE_KEY_RELEASE = 0x44,
    OPCODE_REPEATER_START = 0x45,
    OPCODE_REPEATER_STOP = 0x46,
    OPCODE_JOY_X = 0x50,
    OPCODE_JOY_Y = 0x51,
    OPCODE_JOY_ZERO = 0x52,
    OPCODE_MOUSE_PRESS = 0x58,
    OPCODE_MOUSE_RELEASE = 0x59,
    OPCODE_MOUSE_SCROLL = 0x5A,
    OPCODE_DPI_INCREASE = 0x5B,
    OPCODE_DPI_DECREASE = 0x5C,
    OPCODE_DPI_CYCLE = 0x5D,
    OPCODE_SET_LED_PARAM = 0x60,
    OPCODE_SET_LED_CTRL = 0x61,
    OPCODE_JOY_ON = 0x62,
    OPCODE_JOY_OFF = 0x63,
    OPCODE_JOY_TOGGLE = 0x64,
};

// Flow control.
ZENTROVA_API unsigned short opcode_nop(pgm_t* p);
ZENTROVA_API unsigned short opcode_jump(pgm_t* p, unsigned short target);
ZENTROVA_API unsigned short opcode_jump_if_pressed(pgm_t* p, unsigned char input, unsigned short target);
ZENTROVA_API unsigned short opcode_jump_if_released(pgm_t* p, unsigned char input, unsigned short target);
ZENTROVA_API unsigned short opcode_set_loop_counter(pgm_t* p, unsigned short count);
ZENTROVA_API unsigned short opcode_loop(pgm_t* p, unsigned short target);
ZENTROVA_API unsigned short opcode_lock(pgm_t* p);
ZENTROVA_API unsigned short opcode_unlock(pgm_t* p);
/// Writes 08 value 00.
ZENTROVA_API unsigned short opcode_cancel(pgm_t* p, unsigned char value);
/// Writes 1 byte, needs 3 free.
ZENTROVA_API unsigned short opcode_unroll_stack(pgm_t* p);

// Timing, profiles, LED programs.
ZENTROVA_API unsigned short opcode_delay(pgm_t* p, unsigned short duration);
ZENTROVA_API unsigned short opcode_delay_random(pgm_t* p, unsigned short first_bound, unsigned short second_bound);
ZENTROVA_API unsigned short opcode_change_profile(pgm_t* p, unsigned char profile);
ZENTROVA_API unsigned short opcode_execute_led_program(pgm_t* p, unsigned char led_program);

// Keyboard. Modifier masks: bit n is HID usage 0xE0 + n (bit 0 left Control,
// 1 left Shift, 2 left Alt, 3 left GUI, 4-7 the right-hand ones). Keys are HID
// keyboard usage codes.
ZENTROVA_API unsigned short opcode_key_modifier(pgm_t* p, unsigned char mask);
ZENTROVA_API unsigned short opcode_key_modifier_set(pgm_t* p, unsigned char mask);
ZENTROVA_API unsigned short opcode_key_modifier_clr(pgm_t* p, unsigned char mask);
ZENTROVA_API unsigned short opcode_key_press(pgm_t* p, unsigned char hid_usage);
ZENTROVA_API unsigned short opcode_key_release(pgm_t* p, unsigned char hid_usage);

// Repeaters. repeater: 1-5 key repeaters, 0 macros; count 65535 repeats until
// stopped.
ZENTROVA_API unsigned short opcode_repeater_start(pgm_t* p, unsigned char repeater, unsigned char program,
                                                  unsigned char flag, unsigned short first_delay_bound,
                                                  unsigned short second_delay_bound, unsigned short repeat_count);
/// Writes 2 bytes, needs 5 free.
ZENTROVA_API unsigned short opcode_repeater_stop(pgm_t* p, unsigned char repeater);

// Joystick.
ZENTROVA_API unsigned short opcode_joy_x(pgm_t* p, short value);
ZENTROVA_API unsigned short opcode_joy_y(pgm_t* p, short value);
/// Writes 1 byte, needs 3 free.
ZENTROVA_API unsigned short opcode_joy_zero(pgm_t* p);
ZENTROVA_API unsigned short opcode_joy_on(pgm_t* p);
ZENTROVA_API unsigned short opcode_joy_off(pgm_t* p);
ZENTROVA_API unsigned short opcode_joy_toggle(pgm_t* p);

// Mouse. Button masks: bit 0 left, 1 right, 2 middle, 3-6 further buttons.
ZENTROVA_API unsigned short opcode_mouse_press(pgm_t* p, unsigned char buttons);
ZENTROVA_API unsigned short opcode_mouse_release(pgm_t* p, unsigned char buttons);
/// +1 one wheel step up, -1 down.
ZENTROVA_API unsigned short opcode_mouse_scroll(pgm_t* p, signed char amount);
ZENTROVA_API unsigned short opcode_dpi_increase(pgm_t* p);
ZENTROVA_API unsigned short opcode_dpi_decrease(pgm_t* p);
ZENTROVA_API unsigned short opcode_dpi_cycle(pgm_t* p);

// LED.
ZENTROVA_API unsigned short opcode_set_led_param(pgm_t* p, unsigned char param, unsigned char value);
/// Writes control, then bits 23-0 of value big-endian; bits 31-24 are dropped.
ZENTROVA_API unsigned short opcode_set_led_ctrl(pgm_t* p, unsigned char control, unsigned int value);

// Patch forms: write the whole jump at offset `at` (checked against capacity,
// not cursor), leave cursor unchanged, return `at`.
ZENTROVA_API unsigned short opcode_jump(pgm_t* p, unsigned short at, unsigned short target);
ZENTROVA_API unsigned short opcode_jump_if_pressed(pgm_t* p, unsigned short at, unsigned char input,
                                                   unsigned short target);
ZENTROVA_API unsigned short opcode_jump_if_released(pgm_t* p, unsigned short at, unsigned char input,
                                                    unsigned short target);

#endif
