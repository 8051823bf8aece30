#include "program/disassembler.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "emitter_table.h"

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
    std::vector<std::string> expected;
    std::vector<size_t> offsets;
    for (const Emitter& e : emitters()) {
        offsets.push_back(e.emit(&p));
        expected.push_back(e.text);
    }
    const auto ins = disassembleInstructions(buf, static_cast<size_t>(p.cursor - p.base));
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

TEST(Disassembler, OperandRenderingAndBadBytes)
{
    struct Case {
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
    for (const Case& c : cases) {
        // Exact-size heap copy so that any read past the end trips ASan.
        std::unique_ptr<uint8_t[]> heap(new uint8_t[std::max<size_t>(c.code.size(), 1)]);
        std::copy(c.code.begin(), c.code.end(), heap.get());
        const auto ins = disassembleInstructions(heap.get(), c.code.size());
        EXPECT_EQ(texts(ins), c.text);
        for (const auto& i : ins) {
            EXPECT_EQ(i.valid, i.text.rfind(".byte", 0) != 0) << i.text;
        }
    }
    EXPECT_TRUE(disassembleInstructions(nullptr, 0).empty());
    EXPECT_TRUE(disassembleInstructions(nullptr, 5).empty());
}

} // namespace
