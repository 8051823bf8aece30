#include "zentrova/version.h"

extern "C" {
ZENTROVA_API const char* const g_version_tag = "Zentrova Tool";
ZENTROVA_API const uint16_t g_version_bcd = 0x03E8;
}
