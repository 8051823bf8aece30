// Append and patch emitters of the macro program bytecode.
#include "zentrova/program/opcode.h"

#include <cstddef>
#include <cstdint>

namespace {

inline uint8_t lo(unsigned v) { return static_cast<uint8_t>(v & 0xFFu); }
inline uint8_t hi(unsigned v) { return static_cast<uint8_t>((v >> 8) & 0xFFu); }

// Offset of cursor from base, or -1 when the record is unusable (null
// pointers, cursor before base or beyond base + capacity). Compared as
// integers so a corrupt record never leads to pointer arithmetic across
// objects.
inline long cursorOffset(const pgm_t* p)
{
    if (p == nullptr || p->base == nullptr || p->cursor == nullptr)
        return -1;
    const auto base = reinterpret_cast<uintptr_t>(p->base);
    const auto cur = reinterpret_cast<uintptr_t>(p->cursor);
    if (cur < base || cur - base > p->capacity)
        return -1;
    return static_cast<long>(cur - base);
}

// Appends the N bytes of one instruction if `room` bytes are free after
// cursor. Returns the cursor offset on entry either way.
template <size_t N>
inline unsigned short append(pgm_t* p, unsigned room, const uint8_t (&bytes)[N])
{
    static_assert(N >= 1, "an instruction has an opcode byte");
    const long off = cursorOffset(p);
    if (off < 0) {
        // Nothing sane to write into; report what the offset would read as.
        if (p == nullptr || p->base == nullptr || p->cursor == nullptr)
            return 0;
        return static_cast<unsigned short>(reinterpret_cast<uintptr_t>(p->cursor) -
                                           reinterpret_cast<uintptr_t>(p->base));
    }
    if (static_cast<unsigned long>(off) + room > p->capacity)
        return static_cast<unsigned short>(off);
    for (size_t i = 0; i < N; ++i)
        *p->cursor++ = bytes[i];
    return static_cast<unsigned short>(off);
}

template <size_t N>
inline unsigned short patch(pgm_t* p, unsigned short at, const uint8_t (&bytes)[N])
{
    if (p == nullptr || p->base == nullptr || static_cast<unsigned long>(at) + N > p->capacity)
        return at;
    for (size_t i = 0; i < N; ++i)
        p->base[at + i] = bytes[i];
    return at;
}

} // namespace

ZENTROVA_API unsigned short opcode_nop(pgm_t* p) { return append(p, 1, {OPCODE_NOP}); }

ZENTROVA_API unsigned short opcode_jump(pgm_t* p, unsigned short target)
{
    return append(p, 3, {OPCODE_JUMP, lo(target), hi(target)});
}

ZENTROVA_API unsigned short opcode_jump_if_pressed(pgm_t* p, unsigned char input, unsigned short target)
{
    return append(p, 4, {OPCODE_JUMP_IF_PRESSED, input, lo(target), hi(target)});
}

ZENTROVA_API unsigned short opcode_jump_if_released(pgm_t* p, unsigned char input, unsigned short target)
{
    return append(p, 4, {OPCODE_JUMP_IF_RELEASED, input, lo(target), hi(target)});
}

ZENTROVA_API unsigned short opcode_set_loop_counter(pgm_t* p, unsigned short count)
{
    return append(p, 3, {OPCODE_SET_LOOP_COUNTER, lo(count), hi(count)});
}

ZENTROVA_API unsigned short opcode_loop(pgm_t* p, unsigned short target)
{
    return append(p, 3, {OPCODE_LOOP, lo(target), hi(target)});
}

ZENTROVA_API unsigned short opcode_lock(pgm_t* p) { return append(p, 1, {OPCODE_LOCK}); }
ZENTROVA_API unsigned short opcode_unlock(pgm_t* p) { return append(p, 1, {OPCODE_UNLOCK}); }

ZENTROVA_API unsigned short opcode_cancel(pgm_t* p, unsigned char value)
{
    return append(p, 3, {OPCODE_CANCEL, value, 0x00});
}

ZENTROVA_API unsigned short opcode_unroll_stack(pgm_t* p) { return append(p, 3, {OPCODE_UNROLL_STACK}); }

ZENTROVA_API unsigned short opcode_delay(pgm_t* p, unsigned short duration)
{
    return append(p, 3, {OPCODE_DELAY, lo(duration), hi(duration)});
}

ZENTROVA_API unsigned short opcode_delay_random(pgm_t* p, unsigned short first_bound, unsigned short second_bound)
{
    return append(p, 5, {OPCODE_DELAY_RANDOM, lo(first_bound), hi(first_bound), lo(second_bound), hi(second_bound)});
}

ZENTROVA_API unsigned short opcode_change_profile(pgm_t* p, unsigned char profile)
{
    return append(p, 2, {OPCODE_CHANGE_PROFILE, profile});
}

ZENTROVA_API unsigned short opcode_execute_led_program(pgm_t* p, unsigned char led_program)
{
    return append(p, 2, {OPCODE_EXECUTE_LED_PROGRAM, led_program});
}

ZENTROVA_API unsigned short opcode_key_modifier(pgm_t* p, unsigned char mask)
{
    return append(p, 2, {OPCODE_KEY_MODIFIER, mask});
}

ZENTROVA_API unsigned short opcode_key_modifier_set(pgm_t* p, unsigned char mask)
{
    return append(p, 2, {OPCODE_KEY_MODIFIER_SET, mask});
}

ZENTROVA_API unsigned short opcode_key_modifier_clr(pgm_t* p, unsigned char mask)
{
    return append(p, 2, {OPCODE_KEY_MODIFIER_CLR, mask});
}

ZENTROVA_API unsigned short opcode_key_press(pgm_t* p, unsigned char hid_usage)
{
    return append(p, 2, {OPCODE_KEY_PRESS, hid_usage});
}

ZENTROVA_API unsigned short opcode_key_release(pgm_t* p, unsigned char hid_usage)
{
    return append(p, 2, {OPCODE_KEY_RELEASE, hid_usage});
}

ZENTROVA_API unsigned short opcode_repeater_start(pgm_t* p, unsigned char repeater, unsigned char program,
                                                  unsigned char flag, unsigned short first_delay_bound,
                                                  unsigned short second_delay_bound, unsigned short repeat_count)
{
    return append(p, 10,
                  {OPCODE_REPEATER_START, repeater, program, flag, lo(first_delay_bound), hi(first_delay_bound),
                   lo(second_delay_bound), hi(second_delay_bound), lo(repeat_count), hi(repeat_count)});
}

ZENTROVA_API unsigned short opcode_repeater_stop(pgm_t* p, unsigned char repeater)
{
    return append(p, 5, {OPCODE_REPEATER_STOP, repeater});
}

ZENTROVA_API unsigned short opcode_joy_x(pgm_t* p, short value)
{
    const auto v = static_cast<unsigned short>(value);
    return append(p, 3, {OPCODE_JOY_X, lo(v), hi(v)});
}

ZENTROVA_API unsigned short opcode_joy_y(pgm_t* p, short value)
{
    const auto v = static_cast<unsigned short>(value);
    return append(p, 3, {OPCODE_JOY_Y, lo(v), hi(v)});
}

ZENTROVA_API unsigned short opcode_joy_zero(pgm_t* p) { return append(p, 3, {OPCODE_JOY_ZERO}); }
ZENTROVA_API unsigned short opcode_joy_on(pgm_t* p) { return append(p, 1, {OPCODE_JOY_ON}); }
ZENTROVA_API unsigned short opcode_joy_off(pgm_t* p) { return append(p, 1, {OPCODE_JOY_OFF}); }
ZENTROVA_API unsigned short opcode_joy_toggle(pgm_t* p) { return append(p, 1, {OPCODE_JOY_TOGGLE}); }

ZENTROVA_API unsigned short opcode_mouse_press(pgm_t* p, unsigned char buttons)
{
    return append(p, 2, {OPCODE_MOUSE_PRESS, buttons});
}

ZENTROVA_API unsigned short opcode_mouse_release(pgm_t* p, unsigned char buttons)
{
    return append(p, 2, {OPCODE_MOUSE_RELEASE, buttons});
}

ZENTROVA_API unsigned short opcode_mouse_scroll(pgm_t* p, signed char amount)
{
    return append(p, 2, {OPCODE_MOUSE_SCROLL, static_cast<uint8_t>(amount)});
}

ZENTROVA_API unsigned short opcode_dpi_increase(pgm_t* p) { return append(p, 1, {OPCODE_DPI_INCREASE}); }
ZENTROVA_API unsigned short opcode_dpi_decrease(pgm_t* p) { return append(p, 1, {OPCODE_DPI_DECREASE}); }
ZENTROVA_API unsigned short opcode_dpi_cycle(pgm_t* p) { return append(p, 1, {OPCODE_DPI_CYCLE}); }

ZENTROVA_API unsigned short opcode_set_led_param(pgm_t* p, unsigned char param, unsigned char value)
{
    return append(p, 3, {OPCODE_SET_LED_PARAM, param, value});
}

ZENTROVA_API unsigned short opcode_set_led_ctrl(pgm_t* p, unsigned char control, unsigned int value)
{
    return append(p, 5,
                  {OPCODE_SET_LED_CTRL, control, static_cast<uint8_t>((value >> 16) & 0xFFu), hi(value), lo(value)});
}

ZENTROVA_API unsigned short opcode_jump(pgm_t* p, unsigned short at, unsigned short target)
{
    return patch(p, at, {OPCODE_JUMP, lo(target), hi(target)});
}

ZENTROVA_API unsigned short opcode_jump_if_pressed(pgm_t* p, unsigned short at, unsigned char input,
                                                   unsigned short target)
{
    return patch(p, at, {OPCODE_JUMP_IF_PRESSED, input, lo(target), hi(target)});
}

ZENTROVA_API unsigned short opcode_jump_if_released(pgm_t* p, unsigned short at, unsigned char input,
                                                    unsigned short target)
{
    return patch(p, at, {OPCODE_JUMP_IF_RELEASED, input, lo(target), hi(target)});
}
