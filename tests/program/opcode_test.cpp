#include "zentrova/program/opcode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/program/Disassembler.h"
#include "zentrova/profile/KeyNames.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One row per append emitter: operands chosen so that byte order, sign and
// truncation show in the encoding, the room it needs, and its disassembly.
struct Emitter {
    std::function<unsigned short(pgm_t*)> emit;
    Bytes encoding;
    unsigned room;
    std::string text;
};

const std::vector<Emitter> kEmitters = {
    {[](pgm_t* p) { return opcode_nop(p); }, {0x00}, 1, "nop"},
    {[](pgm_t* p) { return opcode_jump(p, 258); }, {0x01, 0x02, 0x01}, 3, "jump 0x0102"},
    {[](pgm_t* p) { return opcode_jump_if_pressed(p, 9, 0xABCD); }, {0x02, 0x09, 0xCD, 0xAB}, 4, "jump_if_pressed 9, 0xabcd"},
    {[](pgm_t* p) { return opcode_jump_if_released(p, 0xFE, 0x0001); }, {0x03, 0xFE, 0x01, 0x00}, 4, "jump_if_released 254, 0x0001"},
    {[](pgm_t* p) { return opcode_set_loop_counter(p, 0x1234); }, {0x04, 0x34, 0x12}, 3, "set_loop_counter 4660"},
    {[](pgm_t* p) { return opcode_loop(p, 7); }, {0x05, 0x07, 0x00}, 3, "loop 0x0007"},
    {[](pgm_t* p) { return opcode_lock(p); }, {0x06}, 1, "lock"},
    {[](pgm_t* p) { return opcode_unlock(p); }, {0x07}, 1, "unlock"},
    {[](pgm_t* p) { return opcode_cancel(p, 7); }, {0x08, 0x07, 0x00}, 3, "cancel 7"},
    {[](pgm_t* p) { return opcode_unroll_stack(p); }, {0x09}, 3, "unroll_stack"},
    {[](pgm_t* p) { return opcode_delay(p, 1000); }, {0x10, 0xE8, 0x03}, 3, "delay 1000"},
    {[](pgm_t* p) { return opcode_delay_random(p, 100, 0xFFFF); }, {0x11, 0x64, 0x00, 0xFF, 0xFF}, 5, "delay_random 100, 65535"},
    {[](pgm_t* p) { return opcode_change_profile(p, 3); }, {0x12, 0x03}, 2, "change_profile 3"},
    {[](pgm_t* p) { return opcode_execute_led_program(p, 0x80); }, {0x13, 0x80}, 2, "execute_led_program 128"},
    {[](pgm_t* p) { return opcode_key_modifier(p, 0x81); }, {0x40, 0x81}, 2, "key_modifier leftcontrol|rightcommand"},
    {[](pgm_t* p) { return opcode_key_modifier_set(p, 0x02); }, {0x41, 0x02}, 2, "key_modifier_set leftshift"},
    {[](pgm_t* p) { return opcode_key_modifier_clr(p, 0xFF); }, {0x42, 0xFF}, 2, "key_modifier_clr leftcontrol|leftshift|leftalt|leftcommand|rightcontrol|rightshift|rightalt|rightcommand"},
    {[](pgm_t* p) { return opcode_key_press(p, 0x04); }, {0x43, 0x04}, 2, "key_press a"},
    {[](pgm_t* p) { return opcode_key_release(p, 0xE7); }, {0x44, 0xE7}, 2, "key_release rightcommand"},
    {[](pgm_t* p) { return opcode_repeater_start(p, 1, 65, 0, 100, 200, 65535); },
     {0x45, 0x01, 0x41, 0x00, 0x64, 0x00, 0xC8, 0x00, 0xFF, 0xFF}, 10, "repeater_start repeater=1 program=65 flag=0 delay=100..200 count=forever"},
    {[](pgm_t* p) { return opcode_repeater_stop(p, 5); }, {0x46, 0x05}, 5, "repeater_stop 5"},
    {[](pgm_t* p) { return opcode_joy_x(p, -300); }, {0x50, 0xD4, 0xFE}, 3, "joy_x -300"},
    {[](pgm_t* p) { return opcode_joy_y(p, 32767); }, {0x51, 0xFF, 0x7F}, 3, "joy_y 32767"},
    {[](pgm_t* p) { return opcode_joy_zero(p); }, {0x52}, 3, "joy_zero"},
    {[](pgm_t* p) { return opcode_mouse_press(p, 0x05); }, {0x58, 0x05}, 2, "mouse_press left|middle"},
    {[](pgm_t* p) { return opcode_mouse_release(p, 0x40); }, {0x59, 0x40}, 2, "mouse_release button6"},
    {[](pgm_t* p) { return opcode_mouse_scroll(p, -1); }, {0x5A, 0xFF}, 2, "mouse_scroll -1 (down)"},
    {[](pgm_t* p) { return opcode_dpi_increase(p); }, {0x5B}, 1, "dpi_increase"},
    {[](pgm_t* p) { return opcode_dpi_decrease(p); }, {0x5C}, 1, "dpi_decrease"},
    {[](pgm_t* p) { return opcode_dpi_cycle(p); }, {0x5D}, 1, "dpi_cycle"},
    {[](pgm_t* p) { return opcode_set_led_param(p, 2, 0x99); }, {0x60, 0x02, 0x99}, 3, "set_led_param 2, 153"},
    {[](pgm_t* p) { return opcode_set_led_ctrl(p, 5, 0x11223344u); }, {0x61, 0x05, 0x22, 0x33, 0x44}, 5, "set_led_ctrl 5, #223344"},
    {[](pgm_t* p) { return opcode_joy_on(p); }, {0x62}, 1, "joy_on"},
    {[](pgm_t* p) { return opcode_joy_off(p); }, {0x63}, 1, "joy_off"},
    {[](pgm_t* p) { return opcode_joy_toggle(p); }, {0x64}, 1, "joy_toggle"},
};

constexpr uint8_t kFill = 0xCC;

// A buffer of fill bytes, longer than `capacity`, and its program record with
// the cursor at `start`.
struct Program {
    Bytes mem = Bytes(64, kFill);
    pgm_t p;
    Program(unsigned capacity, unsigned start) : p{mem.data(), static_cast<uint16_t>(capacity), mem.data() + start} {}
    size_t cursor() const { return static_cast<size_t>(p.cursor - mem.data()); }
};

// The fill bytes with `encoding` at `at`.
Bytes filledWith(size_t at, const Bytes& encoding)
{
    Bytes mem(64, kFill);
    std::copy(encoding.begin(), encoding.end(), mem.begin() + at);
    return mem;
}

// With exactly its Room free an instruction is written, its offset returned,
// and it disassembles back into one instruction; with any less, down to no
// room at all, nothing is written, the cursor stays and the return value is
// still the cursor's offset.
TEST(Opcode, EncodingAndRoomOfEveryEmitter)
{
    EXPECT_EQ(kEmitters.size(), 35u);
    for (const Emitter& e : kEmitters)
        for (unsigned start : {0, 5}) {
            SCOPED_TRACE(e.text + " at " + std::to_string(start));
            Program fits(start + e.room, start);
            EXPECT_EQ(e.emit(&fits.p), start);
            EXPECT_EQ(fits.mem, filledWith(start, e.encoding));
            EXPECT_EQ(fits.cursor(), start + e.encoding.size());
            const auto ins =
                zentrova::disassembleInstructions(fits.mem.data() + start, e.encoding.size(), zentrova::hidKeyName);
            ASSERT_EQ(ins.size(), 1u);
            EXPECT_EQ(ins[0].text, e.text);
            EXPECT_TRUE(ins[0].valid);
            for (unsigned missing = 1; missing <= e.room; ++missing) {
                Program tight(start + e.room - missing, start);
                EXPECT_EQ(e.emit(&tight.p), start);
                EXPECT_EQ(tight.cursor(), start);
                EXPECT_EQ(tight.mem, Bytes(64, kFill));
            }
        }
}

// The patch forms write anywhere inside `capacity`, before or behind the
// cursor, nothing past it, and leave the cursor alone.
TEST(Opcode, PatchFormsCheckAgainstCapacityNotCursor)
{
    const struct {
        std::function<unsigned short(pgm_t*, unsigned short)> patch;
        Bytes encoding;
    } patches[] = {
        {[](pgm_t* p, unsigned short at) { return opcode_jump(p, at, 0x0010); }, {0x01, 0x10, 0x00}},
        {[](pgm_t* p, unsigned short at) { return opcode_jump_if_pressed(p, at, 4, 0x0201); }, {0x02, 0x04, 0x01, 0x02}},
        {[](pgm_t* p, unsigned short at) { return opcode_jump_if_released(p, at, 6, 0xFFFF); }, {0x03, 0x06, 0xFF, 0xFF}},
    };
    const unsigned capacity = 20;
    for (const auto& t : patches) {
        const auto last = static_cast<unsigned>(capacity - t.encoding.size());
        for (unsigned cursor : {10u, 0u})
            for (unsigned at : {4u, last, last + 1, capacity, 0xFFFFu}) {
                SCOPED_TRACE("opcode " + std::to_string(t.encoding[0]) + " at " + std::to_string(at));
                Program prog(capacity, cursor);
                EXPECT_EQ(t.patch(&prog.p, static_cast<unsigned short>(at)), at);
                EXPECT_EQ(prog.mem, at <= last ? filledWith(at, t.encoding) : Bytes(64, kFill));
                EXPECT_EQ(prog.cursor(), cursor);
            }
    }
}

TEST(Opcode, UnusableRecordsAreLeftAlone)
{
    pgm_t nullBase{nullptr, 100, nullptr};
    Program corrupt(8, 9); // cursor already past the end of the buffer
    for (const Emitter& e : kEmitters) {
        EXPECT_EQ(e.emit(nullptr), 0) << e.text;
        EXPECT_EQ(e.emit(&nullBase), 0) << e.text;
        EXPECT_EQ(e.emit(&corrupt.p), 9) << e.text;
    }
    EXPECT_EQ(opcode_jump(nullptr, 3, 4), 3);
    EXPECT_EQ(opcode_jump_if_pressed(&nullBase, 3, 1, 4), 3);
    EXPECT_EQ(corrupt.cursor(), 9u);
    EXPECT_EQ(corrupt.mem, Bytes(64, kFill));
}

std::vector<std::string> texts(const std::vector<zentrova::DisassembledInstruction>& ins)
{
    std::vector<std::string> out;
    for (const auto& i : ins)
        out.push_back(i.text);
    return out;
}

TEST(Disassembler, ListingLineShowsOffsetAndRawBytes)
{
    const uint8_t code[] = {0x00, 0x43, 0x04, 0x45, 0x01, 0x41, 0x00, 0x64, 0x00, 0xC8, 0x00, 0xFF, 0xFF};
    const auto lines = zentrova::disassemble(code, sizeof code, zentrova::hidKeyName);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "0001  43 04                          key_press a");
    EXPECT_EQ(lines[2].substr(0, 37), "0003  45 01 41 00 64 00 c8 00 ff ff  ");
}

TEST(Disassembler, OperandRenderingAndBadBytes)
{
    const struct {
        std::vector<uint8_t> code;
        std::vector<std::string> text;
    } cases[] = {
        {{0x5A, 0x01, 0x5A, 0x05}, {"mouse_scroll +1 (up)", "mouse_scroll +5"}},
        {{0x45, 0, 70, 1, 5, 0, 5, 0, 3, 0}, {"repeater_start repeater=0 program=70 flag=1 delay=5..5 count=3"}},
        {{0x41, 0x00, 0x58, 0x00, 0x43, 0xFF}, {"key_modifier_set none", "mouse_press none", "key_press 0xff"}},
        {{0x59, 0x83}, {"mouse_release left|right|0x80"}},
        {{0x08, 0x07, 0x12}, {"cancel 7 (third byte 0x12)"}},
        {{0x7F}, {".byte 0x7f"}},
        {{0x7F, 0x43, 0x04, 0xFF}, {".byte 0x7f", "key_press a", ".byte 0xff"}},
        {{0x43}, {".byte 0x43 ; truncated key_press"}},
        {{0x06, 0x45, 0x01, 0x41}, {"lock", ".byte 0x45, 0x01, 0x41 ; truncated repeater_start"}},
        {{0x61, 0x05, 0x22, 0x33}, {".byte 0x61, 0x05, 0x22, 0x33 ; truncated set_led_ctrl"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        // Exact-size heap copy so that any read past the end trips ASan.
        std::unique_ptr<uint8_t[]> heap(new uint8_t[std::max<size_t>(c.code.size(), 1)]);
        std::copy(c.code.begin(), c.code.end(), heap.get());
        const auto ins = zentrova::disassembleInstructions(heap.get(), c.code.size(), zentrova::hidKeyName);
        EXPECT_EQ(texts(ins), c.text);
        for (const auto& i : ins)
            EXPECT_EQ(i.valid, i.text.rfind(".byte", 0) != 0) << i.text;
    }
    EXPECT_TRUE(zentrova::disassembleInstructions(nullptr, 0).empty());
    EXPECT_TRUE(zentrova::disassembleInstructions(nullptr, 5).empty());
}

} // namespace
