// Version data of the library, readable by its callers.
#ifndef ZENTROVA_VERSION_H
#define ZENTROVA_VERSION_H

#include <stdint.h>

#include "zentrova/export.h"

ZENTROVA_EXTERN_C_BEGIN

/// Points to the text "Zentrova Tool".
ZENTROVA_API extern const char* const g_version_tag;
/// Tool version as BCD-style number: 0x03E8 (1000).
ZENTROVA_API extern const uint16_t g_version_bcd;

ZENTROVA_EXTERN_C_END

#endif
