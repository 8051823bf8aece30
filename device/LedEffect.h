// The LED parameter record and LED program that the device tool sends for
// one effect.
#ifndef ZENTROVA_DEVICE_LEDEFFECT_H
#define ZENTROVA_DEVICE_LEDEFFECT_H

#include <cstdint>

namespace zentrova {

struct LedEffect {
    bool known = false;        // false: an unknown effect number, nothing is sent
    const char* line = nullptr; // the effect's log line
    unsigned char record[16] = {}; // bytes the effect does not set stay 0
    unsigned char program = 0;  // LED program started after the record
    bool breathing = false;
    unsigned char cycle = 0;    // breathing cycle byte
};

// color: 0xRRGGBBxx; ledProgram: -1 off, 0 breathing, 1 rainbow, 2 static.
LedEffect makeLedEffect(unsigned int color, int ledProgram, int brightness, int speed);

// Breathing cycle, computed in single precision: (256 - speed) * 256 / b * 10 / 255,
// truncated, capped at 255. Brightness 0 (an infinite quotient) gives 0.
unsigned char breathingCycle(int brightness, int speed);

// The color in the order the log shows it: (blue << 16) | (red << 8) | green.
unsigned int ledLogColor(unsigned int color);

} // namespace zentrova

#endif
