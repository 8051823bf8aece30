// Staged parameters of the key binding being compiled.
//
// add_action fills these fields immediately before it runs the action
// programs, which read them; the programs themselves capture nothing. The
// record lives as long as the library and is never reset as a whole: only
// repeater_slot carries meaning from one binding (and one generation) to the
// next.
#ifndef ZENTROVA_PROFILE_ACTION_PARAMS_H
#define ZENTROVA_PROFILE_ACTION_PARAMS_H

#include <cstdint>

/// HID usage code meaning "no key" in the staged parameters.
constexpr uint8_t kNoKey = 0xFF;

struct action_params_t {
    uint8_t modifier = 0;            ///< HID modifier usage 0xE0..0xE7, or kNoKey
    uint8_t key = 0;                 ///< HID usage of the bound key, or kNoKey
    int32_t profile_data = 0;        ///< "data" of a profile or joystick binding
    int32_t profile_data2 = 0;       ///< "data2" of a profile binding
    int32_t macro_id = 0;
    bool macro_mode = false;         ///< repeat the macro constantly
    bool constant_type = false;      ///< constant mode: true toggle, false while pressed
    int32_t repeat_times = 0;        ///< forced to 65535 in constant mode
    int32_t delay_from = 0;          ///< player delay, added once per macro record
    bool interruptible = false;
    int32_t macro_total_delay = 0;   ///< step durations plus delay_from, built by macro_body
    uint32_t repeater_modifier = kNoKey;
    uint32_t repeater_key = kNoKey;  ///< HID usage, or 0x100 | mouse button mask
    bool key_repeater_mode = false;  ///< true constantly, false a number of times
    bool key_repeater_constant_type = false; ///< constant mode: true toggle, false while pressed
    int32_t repeater_times = 0;
    int32_t repeater_delay_from = 0;
    int32_t repeater_delay_to = 0;
    bool delay_type = false;         ///< true: fixed pause, repeater_delay_from only
    uint32_t repeater_slot = 1;      ///< number of the next key repeater, 1..5
};

extern action_params_t action_params;

constexpr uint32_t kFirstRepeaterSlot = 1;
constexpr uint32_t kLastRepeaterSlot = 5;

#endif
