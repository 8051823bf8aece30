// The breathing cycle byte of the LED record at the edges of its single
// precision formula (the records themselves are checked against the
// simulated mouse in do_pfu_test.cpp).
#include <vector>

#include <gtest/gtest.h>

#include "device/LedEffect.h"

using zentrova::breathingCycle;

namespace {

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

} // namespace
