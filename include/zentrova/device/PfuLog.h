// The device tool's log stream, "pfu.log".
//
// doPfu opens it in the current directory at the start of each call and
// closes it (setting it back to null) at the end; the profile image loader and
// the firmware version query write their lines into it. Every line is flushed
// at once. Null whenever no doPfu call is running: writers check it.
#ifndef ZENTROVA_DEVICE_PFULOG_H
#define ZENTROVA_DEVICE_PFULOG_H

#include <stdio.h>

#include "zentrova/export.h"

ZENTROVA_EXTERN_C_BEGIN

ZENTROVA_API extern FILE* pfu_log;

ZENTROVA_EXTERN_C_END

#endif
