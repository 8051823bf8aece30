// Firmware version of the attached mouse, and a call-in check.
#ifndef ZENTROVA_DEVICE_FIRMWAREVERSION_H
#define ZENTROVA_DEVICE_FIRMWAREVERSION_H

#include "zentrova/export.h"

ZENTROVA_EXTERN_C_BEGIN

/* The firmware version of the first mouse of the hand (0 left, 1 right), as
 * decoded from its USB bcdDevice: 0x0123 gives 1.23. No request is sent to the
 * mouse. 0.0 for an unknown hand, no mouse, or a mouse that cannot be
 * enumerated (the reason goes to "pfu.log"). Never throws. */
ZENTROVA_API float getFwVersion(int rightHand);

/* Returns its argument plus one. */
ZENTROVA_API int testLib(int value);

ZENTROVA_EXTERN_C_END

#endif
