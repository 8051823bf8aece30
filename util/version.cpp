#include "zentrova/version.h"

// The BCD-style tool version follows the project version: 1.0.0 is 1000.
static_assert(ZENTROVA_VERSION_MINOR < 10 && ZENTROVA_VERSION_PATCH < 100,
              "the BCD-style version holds one digit of minor and two of patch version");

extern "C" {
const char* const g_version_tag = "Zentrova Tool";
const uint16_t g_version_bcd = ZENTROVA_VERSION_MAJOR * 1000 + ZENTROVA_VERSION_MINOR * 100 + ZENTROVA_VERSION_PATCH;
}
