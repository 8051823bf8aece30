#include "zentrova/program/opcode.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "emitter_table.h"

namespace {

constexpr uint8_t kFill = 0xCC;

// A buffer with guard bytes beyond `capacity`, and its program record with the
// cursor at `start`.
struct Program {
    std::array<uint8_t, 64> mem;
    pgm_t p;
    Program(uint16_t capacity, uint16_t start)
    {
        mem.fill(kFill);
        p = pgm_t{mem.data(), capacity, mem.data() + start};
    }
    Bytes bytes(size_t from, size_t n) const { return Bytes(mem.begin() + from, mem.begin() + from + n); }
    bool untouched() const
    {
        for (uint8_t b : mem)
            if (b != kFill)
                return false;
        return true;
    }
};

TEST(Opcode, TableCoversAllEmitters) { EXPECT_EQ(emitters().size(), 35u); }

TEST(Opcode, EveryEmitterEncodesAndReturnsItsOffset)
{
    for (const Emitter& e : emitters()) {
        Program prog(40, 3);
        EXPECT_EQ(e.emit(&prog.p), 3) << e.name;
        EXPECT_EQ(prog.bytes(3, e.encoding.size()), e.encoding) << e.name;
        EXPECT_EQ(prog.p.cursor, prog.mem.data() + 3 + e.encoding.size()) << e.name;
        EXPECT_EQ(prog.mem[3 + e.encoding.size()], kFill) << e.name << " wrote past its length";
    }
}

TEST(Opcode, RoomBoundaryForEveryInstruction)
{
    const uint16_t start = 5;
    for (const Emitter& e : emitters()) {
        Program fits(static_cast<uint16_t>(start + e.room), start);
        EXPECT_EQ(e.emit(&fits.p), start) << e.name;
        EXPECT_EQ(fits.p.cursor, fits.mem.data() + start + e.encoding.size()) << e.name;
        EXPECT_EQ(fits.bytes(start, e.encoding.size()), e.encoding) << e.name;

        for (unsigned missing = 1; missing <= e.room; ++missing) {
            Program tight(static_cast<uint16_t>(start + e.room - missing), start);
            EXPECT_EQ(e.emit(&tight.p), start) << e.name;
            EXPECT_EQ(tight.p.cursor, tight.mem.data() + start) << e.name << " missing " << missing;
            EXPECT_TRUE(tight.untouched()) << e.name << " missing " << missing;
        }
    }
}

TEST(Opcode, ZeroCapacityWritesNothing)
{
    for (const Emitter& e : emitters()) {
        Program prog(0, 0);
        EXPECT_EQ(e.emit(&prog.p), 0) << e.name;
        EXPECT_EQ(prog.p.cursor, prog.mem.data()) << e.name;
        EXPECT_TRUE(prog.untouched()) << e.name;
    }
}

TEST(Opcode, ShorterInstructionStillFitsAfterADroppedOne)
{
    Program prog(12, 0);
    opcode_delay(&prog.p, 1);                              // 3 bytes
    opcode_repeater_start(&prog.p, 1, 2, 0, 3, 4, 5);      // needs 10, has 9: dropped
    EXPECT_EQ(opcode_repeater_stop(&prog.p, 1), 3);        // needs 5: fits
    EXPECT_EQ(opcode_joy_zero(&prog.p), 5);                // needs 3: fits
    EXPECT_EQ(opcode_unroll_stack(&prog.p), 6);            // needs 3: fits
    EXPECT_EQ(opcode_joy_zero(&prog.p), 7);                // needs 3: fits
    EXPECT_EQ(opcode_set_led_param(&prog.p, 1, 1), 8);     // 3 of 4: fits
    EXPECT_EQ(opcode_joy_zero(&prog.p), 11);               // 1 free: dropped
    EXPECT_EQ(opcode_nop(&prog.p), 11);                    // 1 free: fits
    EXPECT_EQ(prog.p.cursor - prog.p.base, 12);
    EXPECT_EQ(prog.bytes(0, 12), (Bytes{0x10, 0x01, 0x00, 0x46, 0x01, 0x52, 0x09, 0x52, 0x60, 0x01, 0x01, 0x00}));
}

TEST(Opcode, PatchFormsCheckAgainstCapacityNotCursor)
{
    struct Patch {
        const char* name;
        std::function<unsigned short(pgm_t*, unsigned short)> patch;
        Bytes encoding;
    } patches[] = {
        {"jump", [](pgm_t* p, unsigned short at) { return opcode_jump(p, at, 0x0010); }, {0x01, 0x10, 0x00}},
        {"jump_if_pressed", [](pgm_t* p, unsigned short at) { return opcode_jump_if_pressed(p, at, 4, 0x0201); },
         {0x02, 0x04, 0x01, 0x02}},
        {"jump_if_released", [](pgm_t* p, unsigned short at) { return opcode_jump_if_released(p, at, 6, 0xFFFF); },
         {0x03, 0x06, 0xFF, 0xFF}},
    };
    const uint16_t capacity = 20;
    for (const Patch& t : patches) {
        const auto len = static_cast<uint16_t>(t.encoding.size());
        // Before the cursor, as used for forward jumps.
        Program before(capacity, 10);
        EXPECT_EQ(t.patch(&before.p, 4), 4) << t.name;
        EXPECT_EQ(before.bytes(4, len), t.encoding) << t.name;
        EXPECT_EQ(before.p.cursor, before.mem.data() + 10) << t.name;

        // Beyond the cursor but inside the buffer: accepted, cursor stays.
        const uint16_t last = static_cast<uint16_t>(capacity - len);
        Program beyond(capacity, 0);
        EXPECT_EQ(t.patch(&beyond.p, last), last) << t.name;
        EXPECT_EQ(beyond.bytes(last, len), t.encoding) << t.name;
        EXPECT_EQ(beyond.p.cursor, beyond.mem.data()) << t.name;

        // One byte past the end of the buffer: nothing written.
        for (unsigned short at : {static_cast<unsigned short>(last + 1), static_cast<unsigned short>(capacity),
                                  static_cast<unsigned short>(0xFFFF)}) {
            Program outside(capacity, capacity);
            EXPECT_EQ(t.patch(&outside.p, at), at) << t.name;
            EXPECT_TRUE(outside.untouched()) << t.name << " at " << at;
        }
    }
}

TEST(Opcode, ForwardJumpPattern)
{
    Program prog(40, 0);
    const unsigned short jmp = opcode_jump_if_released(&prog.p, 2, 0);
    opcode_key_press(&prog.p, 0x04);
    opcode_key_release(&prog.p, 0x04);
    const auto end = static_cast<unsigned short>(prog.p.cursor - prog.p.base);
    EXPECT_EQ(opcode_jump_if_released(&prog.p, jmp, 2, end), jmp);
    EXPECT_EQ(prog.bytes(0, 8), (Bytes{0x03, 0x02, 0x08, 0x00, 0x43, 0x04, 0x44, 0x04}));
    EXPECT_EQ(prog.p.cursor - prog.p.base, 8);
}

TEST(Opcode, UnusableRecordsAreLeftAlone)
{
    for (const Emitter& e : emitters())
        EXPECT_EQ(e.emit(nullptr), 0) << e.name;
    EXPECT_EQ(opcode_jump(nullptr, 3, 4), 3);

    pgm_t nullBase{nullptr, 100, nullptr};
    for (const Emitter& e : emitters())
        EXPECT_EQ(e.emit(&nullBase), 0) << e.name;
    EXPECT_EQ(opcode_jump_if_pressed(&nullBase, 3, 1, 4), 3);

    // Cursor already past the end of the buffer (a corrupt record).
    Program prog(8, 0);
    prog.p.cursor = prog.mem.data() + 9;
    for (const Emitter& e : emitters()) {
        EXPECT_EQ(e.emit(&prog.p), 9) << e.name;
        EXPECT_EQ(prog.p.cursor, prog.mem.data() + 9);
    }
    EXPECT_TRUE(prog.untouched());
}

} // namespace
