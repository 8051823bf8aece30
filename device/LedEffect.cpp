#include "device/LedEffect.h"

#include <climits>
#include <cmath>

namespace zentrova {

unsigned char breathingCycle(int brightness, int speed)
{
    float f = 256.0f / static_cast<float>(brightness);
    f = f * 10.0f;
    f = f / 255.0f;
    const float product = static_cast<float>(256LL - speed) * f;
    // Brightness 0 makes the quotient infinite; such a cycle is 0, as is one
    // too negative for an int. A finite cycle above 255 is capped.
    if (!std::isfinite(product) || product <= static_cast<float>(INT_MIN))
        return 0;
    if (product > 255.0f)
        return 255;
    return static_cast<unsigned char>(static_cast<int>(product)); // truncation toward zero
}

unsigned int ledLogColor(unsigned int color)
{
    const unsigned red = (color >> 24) & 0xFF, green = (color >> 16) & 0xFF, blue = (color >> 8) & 0xFF;
    return (blue << 16) | (red << 8) | green;
}

LedEffect makeLedEffect(unsigned int color, int ledProgram, int brightness, int speed)
{
    const auto red = static_cast<unsigned char>(color >> 24);
    const auto green = static_cast<unsigned char>(color >> 16);
    const auto blue = static_cast<unsigned char>(color >> 8);
    const auto bright = static_cast<unsigned char>(brightness);

    LedEffect e;
    unsigned char* r = e.record;
    switch (ledProgram) {
    case 2:
        e.line = "Led program is static\r\n";
        r[0] = red, r[1] = green, r[2] = blue, r[3] = bright, r[4] = bright, r[5] = 0xA0;
        e.program = 1;
        break;
    case 0:
        e.line = "Led program is breathing\r\n";
        e.breathing = true;
        e.cycle = breathingCycle(brightness, speed);
        r[0] = red, r[1] = green, r[2] = blue, r[3] = 0, r[4] = bright, r[5] = 0x01, r[6] = e.cycle;
        e.program = 1;
        break;
    case 1:
        e.line = "Led program is rainbow\r\n";
        r[0] = 0xFF, r[1] = bright, r[2] = static_cast<unsigned char>((256LL - speed) / 5);
        e.program = 2;
        break;
    case -1:
        e.line = "Led program is none, led off\r\n";
        r[5] = 0xE8;
        e.program = 1;
        break;
    default:
        return e;
    }
    e.known = true;
    return e;
}

} // namespace zentrova
