#include "zentrova/version.h"

extern "C" {
const char* const g_version_tag = "Zentrova Tool";
const uint16_t g_version_bcd = 0x03E8;
}
