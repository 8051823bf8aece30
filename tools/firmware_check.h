// Ordering firmware versions as the DFU header and the mouse's bcdDevice
// carry them (four BCD digits, 0x0123 is 1.23).
#ifndef ZENTROVA_TOOL_FIRMWARE_CHECK_H
#define ZENTROVA_TOOL_FIRMWARE_CHECK_H

#include <cstdint>

/// Negative when `a` is older than `b`, 0 when the same, positive when newer.
int compareFirmware(uint16_t a, uint16_t b);

#endif
