// Two checks per input:
//  1. The raw input as bytecode: the disassembler covers it without gaps and
//     never reads outside it (an exactly sized copy).
//  2. The input as a script of emitter calls into a buffer of up to 63 bytes:
//     the cursor never leaves the buffer, nothing is written behind it, and
//     without patches the program disassembles into valid instructions only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zentrova/program/Disassembler.h"
#include "zentrova/profile/KeyNames.h"
#include "zentrova/program/opcode.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t u8() { return pos < size ? data[pos++] : 0; }
    uint16_t u16()
    {
        const unsigned lo = u8();
        return static_cast<uint16_t>(lo | u8() << 8);
    }
    uint32_t u32()
    {
        const uint32_t lo = u16();
        return lo | static_cast<uint32_t>(u16()) << 16;
    }
};

constexpr unsigned kOps = 38, kFirstPatch = 35; // the 35 append emitters, then the patch forms

void emitOne(pgm_t* p, Reader& r)
{
    switch (r.u8() % kOps) {
    case 0: opcode_nop(p); break;
    case 1: opcode_jump(p, r.u16()); break;
    case 2: opcode_jump_if_pressed(p, r.u8(), r.u16()); break;
    case 3: opcode_jump_if_released(p, r.u8(), r.u16()); break;
    case 4: opcode_set_loop_counter(p, r.u16()); break;
    case 5: opcode_loop(p, r.u16()); break;
    case 6: opcode_lock(p); break;
    case 7: opcode_unlock(p); break;
    case 8: opcode_cancel(p, r.u8()); break;
    case 9: opcode_unroll_stack(p); break;
    case 10: opcode_delay(p, r.u16()); break;
    case 11: opcode_delay_random(p, r.u16(), r.u16()); break;
    case 12: opcode_change_profile(p, r.u8()); break;
    case 13: opcode_execute_led_program(p, r.u8()); break;
    case 14: opcode_key_modifier(p, r.u8()); break;
    case 15: opcode_key_modifier_set(p, r.u8()); break;
    case 16: opcode_key_modifier_clr(p, r.u8()); break;
    case 17: opcode_key_press(p, r.u8()); break;
    case 18: opcode_key_release(p, r.u8()); break;
    case 19: opcode_repeater_start(p, r.u8(), r.u8(), r.u8(), r.u16(), r.u16(), r.u16()); break;
    case 20: opcode_repeater_stop(p, r.u8()); break;
    case 21: opcode_joy_x(p, static_cast<short>(r.u16())); break;
    case 22: opcode_joy_y(p, static_cast<short>(r.u16())); break;
    case 23: opcode_joy_zero(p); break;
    case 24: opcode_mouse_press(p, r.u8()); break;
    case 25: opcode_mouse_release(p, r.u8()); break;
    case 26: opcode_mouse_scroll(p, static_cast<signed char>(r.u8())); break;
    case 27: opcode_dpi_increase(p); break;
    case 28: opcode_dpi_decrease(p); break;
    case 29: opcode_dpi_cycle(p); break;
    case 30: opcode_set_led_param(p, r.u8(), r.u8()); break;
    case 31: opcode_set_led_ctrl(p, r.u8(), r.u32()); break;
    case 32: opcode_joy_on(p); break;
    case 33: opcode_joy_off(p); break;
    case 34: opcode_joy_toggle(p); break;
    // Patches land on any in-range offset here, not only on an instruction of
    // the same length as in real use: the listing check is then skipped.
    case 35: opcode_jump(p, r.u16(), r.u16()); break;
    case 36: opcode_jump_if_pressed(p, r.u16(), r.u8(), r.u16()); break;
    default: opcode_jump_if_released(p, r.u16(), r.u8(), r.u16()); break;
    }
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> code(data, data + size);
    size_t next = 0;
    for (const zentrova::DisassembledInstruction& ins :
         zentrova::disassembleInstructions(code.data(), code.size(), zentrova::hidKeyName)) {
        check(ins.offset == next && ins.length >= 1);
        next += ins.length;
    }
    check(next == size);
    zentrova::disassemble(code.data(), code.size(), zentrova::hidKeyName);

    Reader r{data, size};
    const uint16_t capacity = r.u8() % 64;
    std::vector<uint8_t> mem(capacity + 16, 0xA5);
    pgm_t p{mem.data(), capacity, mem.data()};
    bool patched = false;
    while (r.pos < r.size) {
        const uint8_t* before = p.cursor;
        patched |= r.data[r.pos] % kOps >= kFirstPatch;
        emitOne(&p, r);
        check(p.cursor >= before && p.cursor <= p.base + capacity);
    }
    for (size_t i = capacity; i < mem.size(); ++i)
        check(mem[i] == 0xA5);
    for (const zentrova::DisassembledInstruction& ins :
         zentrova::disassembleInstructions(p.base, static_cast<size_t>(p.cursor - p.base), zentrova::hidKeyName))
        check(patched || ins.valid);
    return 0;
}
