// One row per append emitter: operands chosen so that byte order, sign and
// truncation show in the encoding, the room it needs, and its disassembly.
#ifndef ZENTROVA_TESTS_PROGRAM_EMITTER_TABLE_H
#define ZENTROVA_TESTS_PROGRAM_EMITTER_TABLE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zentrova/program/opcode.h"

using Bytes = std::vector<uint8_t>;

struct Emitter {
    const char* name;
    std::function<unsigned short(pgm_t*)> emit;
    Bytes encoding;
    unsigned room;
    std::string text;
};

inline const std::vector<Emitter>& emitters()
{
    static const std::vector<Emitter> table = {
        {"nop", [](pgm_t* p) { return opcode_nop(p); }, {0x00}, 1, "nop"},
        {"jump", [](pgm_t* p) { return opcode_jump(p, 258); }, {0x01, 0x02, 0x01}, 3, "jump 0x0102"},
        {"jump_if_pressed", [](pgm_t* p) { return opcode_jump_if_pressed(p, 9, 0xABCD); }, {0x02, 0x09, 0xCD, 0xAB}, 4, "jump_if_pressed 9, 0xabcd"},
        {"jump_if_released", [](pgm_t* p) { return opcode_jump_if_released(p, 0xFE, 0x0001); }, {0x03, 0xFE, 0x01, 0x00}, 4, "jump_if_released 254, 0x0001"},
        {"set_loop_counter", [](pgm_t* p) { return opcode_set_loop_counter(p, 0x1234); }, {0x04, 0x34, 0x12}, 3, "set_loop_counter 4660"},
        {"loop", [](pgm_t* p) { return opcode_loop(p, 7); }, {0x05, 0x07, 0x00}, 3, "loop 0x0007"},
        {"lock", [](pgm_t* p) { return opcode_lock(p); }, {0x06}, 1, "lock"},
        {"unlock", [](pgm_t* p) { return opcode_unlock(p); }, {0x07}, 1, "unlock"},
        {"cancel", [](pgm_t* p) { return opcode_cancel(p, 7); }, {0x08, 0x07, 0x00}, 3, "cancel 7"},
        {"unroll_stack", [](pgm_t* p) { return opcode_unroll_stack(p); }, {0x09}, 3, "unroll_stack"},
        {"delay", [](pgm_t* p) { return opcode_delay(p, 1000); }, {0x10, 0xE8, 0x03}, 3, "delay 1000"},
        {"delay_random", [](pgm_t* p) { return opcode_delay_random(p, 100, 0xFFFF); }, {0x11, 0x64, 0x00, 0xFF, 0xFF}, 5, "delay_random 100, 65535"},
        {"change_profile", [](pgm_t* p) { return opcode_change_profile(p, 3); }, {0x12, 0x03}, 2, "change_profile 3"},
        {"execute_led_program", [](pgm_t* p) { return opcode_execute_led_program(p, 0x80); }, {0x13, 0x80}, 2, "execute_led_program 128"},
        {"key_modifier", [](pgm_t* p) { return opcode_key_modifier(p, 0x81); }, {0x40, 0x81}, 2, "key_modifier leftcontrol|rightcommand"},
        {"key_modifier_set", [](pgm_t* p) { return opcode_key_modifier_set(p, 0x02); }, {0x41, 0x02}, 2, "key_modifier_set leftshift"},
        {"key_modifier_clr", [](pgm_t* p) { return opcode_key_modifier_clr(p, 0xFF); }, {0x42, 0xFF}, 2, "key_modifier_clr leftcontrol|leftshift|leftalt|leftcommand|rightcontrol|rightshift|rightalt|rightcommand"},
        {"key_press", [](pgm_t* p) { return opcode_key_press(p, 0x04); }, {0x43, 0x04}, 2, "key_press a"},
        {"key_release", [](pgm_t* p) { return opcode_key_release(p, 0xE7); }, {0x44, 0xE7}, 2, "key_release rightcommand"},
        {"repeater_start", [](pgm_t* p) { return opcode_repeater_start(p, 1, 65, 0, 100, 200, 65535); },
         {0x45, 0x01, 0x41, 0x00, 0x64, 0x00, 0xC8, 0x00, 0xFF, 0xFF}, 10, "repeater_start repeater=1 program=65 flag=0 delay=100..200 count=forever"},
        {"repeater_stop", [](pgm_t* p) { return opcode_repeater_stop(p, 5); }, {0x46, 0x05}, 5, "repeater_stop 5"},
        {"joy_x", [](pgm_t* p) { return opcode_joy_x(p, -300); }, {0x50, 0xD4, 0xFE}, 3, "joy_x -300"},
        {"joy_y", [](pgm_t* p) { return opcode_joy_y(p, 32767); }, {0x51, 0xFF, 0x7F}, 3, "joy_y 32767"},
        {"joy_zero", [](pgm_t* p) { return opcode_joy_zero(p); }, {0x52}, 3, "joy_zero"},
        {"mouse_press", [](pgm_t* p) { return opcode_mouse_press(p, 0x05); }, {0x58, 0x05}, 2, "mouse_press left|middle"},
        {"mouse_release", [](pgm_t* p) { return opcode_mouse_release(p, 0x40); }, {0x59, 0x40}, 2, "mouse_release button6"},
        {"mouse_scroll", [](pgm_t* p) { return opcode_mouse_scroll(p, -1); }, {0x5A, 0xFF}, 2, "mouse_scroll -1 (down)"},
        {"dpi_increase", [](pgm_t* p) { return opcode_dpi_increase(p); }, {0x5B}, 1, "dpi_increase"},
        {"dpi_decrease", [](pgm_t* p) { return opcode_dpi_decrease(p); }, {0x5C}, 1, "dpi_decrease"},
        {"dpi_cycle", [](pgm_t* p) { return opcode_dpi_cycle(p); }, {0x5D}, 1, "dpi_cycle"},
        {"set_led_param", [](pgm_t* p) { return opcode_set_led_param(p, 2, 0x99); }, {0x60, 0x02, 0x99}, 3, "set_led_param 2, 153"},
        {"set_led_ctrl", [](pgm_t* p) { return opcode_set_led_ctrl(p, 5, 0x11223344u); }, {0x61, 0x05, 0x22, 0x33, 0x44}, 5, "set_led_ctrl 5, #223344"},
        {"joy_on", [](pgm_t* p) { return opcode_joy_on(p); }, {0x62}, 1, "joy_on"},
        {"joy_off", [](pgm_t* p) { return opcode_joy_off(p); }, {0x63}, 1, "joy_off"},
        {"joy_toggle", [](pgm_t* p) { return opcode_joy_toggle(p); }, {0x64}, 1, "joy_toggle"},
    };
    return table;
}

#endif
