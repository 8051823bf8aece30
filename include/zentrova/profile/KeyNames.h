// Key names for listings, from the configurator's key table.
#ifndef ZENTROVA_PROFILE_KEYNAMES_H
#define ZENTROVA_PROFILE_KEYNAMES_H

#include <cstdint>

#include "zentrova/export.h"

namespace zentrova {

/// The key table's name of HID keyboard usage `hidCode` ("a", "leftshift"),
/// the first row's when several share it; null when no row has it. Fits
/// zentrova::KeyNamer of the disassembler.
ZENTROVA_API const char* hidKeyName(uint8_t hidCode);

} // namespace zentrova

#endif
