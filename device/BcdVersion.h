// The mouse reports its firmware version in the USB bcdDevice field as four
// BCD digits, two before and two after the point (0x0123 is 1.23).
#ifndef ZENTROVA_DEVICE_BCDVERSION_H
#define ZENTROVA_DEVICE_BCDVERSION_H

#include <cstdint>

namespace zentrova {

struct BcdVersion {
    int major; // 10 * d3 + d2
    int minor; // 10 * d1 + d0
    float value() const { return static_cast<float>(major) + static_cast<float>(minor) / 100.0f; }
};

// Digits are not validated: one above 9 enters with its value (0x00FF: 1.65).
inline BcdVersion decodeBcdVersion(uint16_t v)
{
    return {10 * ((v >> 12) & 0xF) + ((v >> 8) & 0xF), 10 * ((v >> 4) & 0xF) + (v & 0xF)};
}

} // namespace zentrova

#endif
