// The LED parameter record and program the device tool sends per effect.
#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "device/LedEffect.h"

using zentrova::breathingCycle;
using zentrova::makeLedEffect;

namespace {

using Record = std::array<unsigned char, 16>;

Record recordOf(const zentrova::LedEffect& e)
{
    Record r;
    std::copy(std::begin(e.record), std::end(e.record), r.begin());
    return r;
}

TEST(LedEffect, BreathingCycleInSinglePrecision)
{
    struct Case {
        int brightness, speed;
        unsigned char cycle;
    };
    const std::vector<Case> cases = {
        {255, 0, 10},
        {100, 56, 20},
        {255, 255, 0},
        {1, 0, 255},   // 2570, capped
        {0, 0, 0},     // infinite quotient
        {0, 256, 0},   // 0 * infinity
        {0, 300, 0},   // negative infinity
        {128, 0, 20},  // 256 * (2 * 10 / 255) = 20.08
        {255, 256, 0},
        {255, -2000000000, 255}, // far above 255, capped rather than wrapped
    };
    for (const Case& c : cases)
        EXPECT_EQ(breathingCycle(c.brightness, c.speed), c.cycle) << c.brightness << "/" << c.speed;
}

TEST(LedEffect, RecordsOfTheFourEffects)
{
    const unsigned color = 0x11223344; // red 0x11, green 0x22, blue 0x33; 0x44 ignored
    struct Case {
        int program;
        int brightness, speed;
        Record record;
        unsigned char ledProgram;
    };
    const std::vector<Case> cases = {
        {2, 200, 7, {0x11, 0x22, 0x33, 200, 200, 0xA0}, 1},
        {0, 255, 0, {0x11, 0x22, 0x33, 0, 255, 0x01, 10}, 1},
        {-1, 200, 7, {0, 0, 0, 0, 0, 0xE8}, 1},
        {1, 77, 0, {0xFF, 77, 51}, 2},
        {1, 77, 255, {0xFF, 77, 0}, 2},
        {2, 0x1FF, 0, {0x11, 0x22, 0x33, 0xFF, 0xFF, 0xA0}, 1}, // low 8 bits of brightness
    };
    for (const Case& c : cases) {
        const auto e = makeLedEffect(color, c.program, c.brightness, c.speed);
        EXPECT_TRUE(e.known) << c.program;
        EXPECT_EQ(recordOf(e), c.record) << c.program;
        EXPECT_EQ(e.program, c.ledProgram) << c.program;
        EXPECT_EQ(e.breathing, c.program == 0);
    }
}

TEST(LedEffect, UnknownEffectSendsNothing)
{
    for (int program : {5, 3, -2, 1000}) {
        const auto e = makeLedEffect(0xFFFFFF00, program, 255, 0);
        EXPECT_FALSE(e.known);
        EXPECT_EQ(e.line, nullptr);
    }
}

TEST(LedEffect, LogColorIsBlueRedGreen)
{
    EXPECT_EQ(zentrova::ledLogColor(0x11223344), 0x331122u);
    EXPECT_EQ(zentrova::ledLogColor(0xFF0000FF), 0x00FF00u);
}

} // namespace
