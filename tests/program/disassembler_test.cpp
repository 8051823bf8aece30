#include "program/disassembler.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/program/opcode.h"

namespace {

std::vector<std::string> texts(const std::vector<DisassembledInstruction>& ins)
{
    std::vector<std::string> out;
    for (const auto& i : ins)
        out.push_back(i.text);
    return out;
}

TEST(Disassembler, RoundTripsEveryEmitter)
{
    uint8_t buf[256];
    pgm_t p{buf, sizeof buf, buf};
    struct Step {
        unsigned short (*emit)(pgm_t*);
        const char* text;
    } steps[] = {
        {[](pgm_t* q) { return opcode_nop(q); }, "nop"},
        {[](pgm_t* q) { return opcode_jump(q, 258); }, "jump 0x0102"},
        {[](pgm_t* q) { return opcode_jump_if_pressed(q, 9, 0xABCD); }, "jump_if_pressed 9, 0xabcd"},
        {[](pgm_t* q) { return opcode_jump_if_released(q, 2, 1); }, "jump_if_released 2, 0x0001"},
        {[](pgm_t* q) { return opcode_set_loop_counter(q, 4660); }, "set_loop_counter 4660"},
        {[](pgm_t* q) { return opcode_loop(q, 7); }, "loop 0x0007"},
        {[](pgm_t* q) { return opcode_lock(q); }, "lock"},
        {[](pgm_t* q) { return opcode_unlock(q); }, "unlock"},
        {[](pgm_t* q) { return opcode_cancel(q, 7); }, "cancel 7"},
        {[](pgm_t* q) { return opcode_unroll_stack(q); }, "unroll_stack"},
        {[](pgm_t* q) { return opcode_delay(q, 1000); }, "delay 1000"},
        {[](pgm_t* q) { return opcode_delay_random(q, 100, 65535); }, "delay_random 100, 65535"},
        {[](pgm_t* q) { return opcode_change_profile(q, 3); }, "change_profile 3"},
        {[](pgm_t* q) { return opcode_execute_led_program(q, 200); }, "execute_led_program 200"},
        {[](pgm_t* q) { return opcode_key_modifier(q, 0x88); }, "key_modifier leftcommand|rightcommand"},
        {[](pgm_t* q) { return opcode_key_modifier_set(q, 0x03); }, "key_modifier_set leftcontrol|leftshift"},
        {[](pgm_t* q) { return opcode_key_modifier_clr(q, 0); }, "key_modifier_clr none"},
        {[](pgm_t* q) { return opcode_key_press(q, 0x2F); }, "key_press leftbracket"},
        {[](pgm_t* q) { return opcode_key_release(q, 0xFF); }, "key_release 0xff"},
        {[](pgm_t* q) { return opcode_repeater_start(q, 1, 65, 0, 100, 200, 65535); },
         "repeater_start repeater=1 program=65 flag=0 delay=100..200 count=forever"},
        {[](pgm_t* q) { return opcode_repeater_start(q, 0, 70, 1, 5, 5, 3); },
         "repeater_start repeater=0 program=70 flag=1 delay=5..5 count=3"},
        {[](pgm_t* q) { return opcode_repeater_stop(q, 5); }, "repeater_stop 5"},
        {[](pgm_t* q) { return opcode_joy_x(q, -300); }, "joy_x -300"},
        {[](pgm_t* q) { return opcode_joy_y(q, 32767); }, "joy_y 32767"},
        {[](pgm_t* q) { return opcode_joy_zero(q); }, "joy_zero"},
        {[](pgm_t* q) { return opcode_mouse_press(q, 0x05); }, "mouse_press left|middle"},
        {[](pgm_t* q) { return opcode_mouse_release(q, 0xC2); }, "mouse_release right|button6|0x80"},
        {[](pgm_t* q) { return opcode_mouse_scroll(q, -1); }, "mouse_scroll -1 (down)"},
        {[](pgm_t* q) { return opcode_mouse_scroll(q, 1); }, "mouse_scroll +1 (up)"},
        {[](pgm_t* q) { return opcode_dpi_increase(q); }, "dpi_increase"},
        {[](pgm_t* q) { return opcode_dpi_decrease(q); }, "dpi_decrease"},
        {[](pgm_t* q) { return opcode_dpi_cycle(q); }, "dpi_cycle"},
        {[](pgm_t* q) { return opcode_set_led_param(q, 2, 153); }, "set_led_param 2, 153"},
        {[](pgm_t* q) { return opcode_set_led_ctrl(q, 5, 0x11FF8001u); }, "set_led_ctrl 5, #ff8001"},
        {[](pgm_t* q) { return opcode_joy_on(q); }, "joy_on"},
        {[](pgm_t* q) { return opcode_joy_off(q); }, "joy_off"},
        {[](pgm_t* q) { return opcode_joy_toggle(q); }, "joy_toggle"},
    };
    std::vector<std::string> expected;
    std::vector<size_t> offsets;
    for (const Step& s : steps) {
        offsets.push_back(s.emit(&p));
        expected.push_back(s.text);
    }
    const auto size = static_cast<size_t>(p.cursor - p.base);
    const auto ins = disassembleInstructions(buf, size);
    EXPECT_EQ(texts(ins), expected);
    ASSERT_EQ(ins.size(), offsets.size());
    for (size_t i = 0; i < ins.size(); ++i) {
        EXPECT_EQ(ins[i].offset, offsets[i]) << expected[i];
        EXPECT_TRUE(ins[i].valid) << expected[i];
    }
}

TEST(Disassembler, ListingLineShowsOffsetAndRawBytes)
{
    const uint8_t code[] = {0x00, 0x43, 0x04, 0x45, 0x01, 0x41, 0x00, 0x64, 0x00, 0xC8, 0x00, 0xFF, 0xFF};
    const auto lines = disassemble(code, sizeof code);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "0001  43 04                          key_press a");
    EXPECT_EQ(lines[2].substr(0, 37), "0003  45 01 41 00 64 00 c8 00 ff ff  ");
}

TEST(Disassembler, UnknownAndTruncatedBytesAreShownNotDecoded)
{
    struct Case {
        std::vector<uint8_t> code;
        std::vector<std::string> text;
    } cases[] = {
        {{0x7F}, {".byte 0x7f"}},
        {{0x7F, 0x43, 0x04, 0xFF}, {".byte 0x7f", "key_press a", ".byte 0xff"}},
        {{0x43}, {".byte 0x43 ; truncated key_press"}},
        {{0x06, 0x45, 0x01, 0x41}, {"lock", ".byte 0x45, 0x01, 0x41 ; truncated repeater_start"}},
        {{0x08, 0x07, 0x12}, {"cancel 7 (third byte 0x12)"}},
        {{0x61, 0x05, 0x22, 0x33}, {".byte 0x61, 0x05, 0x22, 0x33 ; truncated set_led_ctrl"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        // Exact-size heap copy so that any read past the end trips ASan.
        std::unique_ptr<uint8_t[]> heap(new uint8_t[c.code.size() + (c.code.empty() ? 1 : 0)]);
        std::copy(c.code.begin(), c.code.end(), heap.get());
        const auto ins = disassembleInstructions(heap.get(), c.code.size());
        EXPECT_EQ(texts(ins), c.text);
        for (const auto& i : ins) {
            if (i.text.rfind(".byte", 0) == 0) {
                EXPECT_FALSE(i.valid) << i.text;
            }
        }
    }
    EXPECT_TRUE(disassembleInstructions(nullptr, 0).empty());
    EXPECT_TRUE(disassembleInstructions(nullptr, 5).empty());
}

TEST(Disassembler, RandomBytesAreCoveredWithoutGaps)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 500; ++round) {
        const size_t n = rng() % 40;
        std::unique_ptr<uint8_t[]> code(new uint8_t[n + 1]);
        for (size_t i = 0; i < n; ++i)
            code[i] = static_cast<uint8_t>(rng() % 3 == 0 ? rng() % 0x66 : rng());
        const auto ins = disassembleInstructions(code.get(), n);
        size_t next = 0;
        for (const auto& i : ins) {
            ASSERT_EQ(i.offset, next);
            ASSERT_GE(i.length, 1u);
            next += i.length;
        }
        EXPECT_EQ(next, n);
        EXPECT_EQ(disassemble(code.get(), n).size(), ins.size());
    }
}

} // namespace
