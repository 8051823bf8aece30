// The profile JSON reader.
#ifndef ZENTROVA_PROFILE_PROCESS_PROFILE_H
#define ZENTROVA_PROFILE_PROCESS_PROFILE_H

#include <cstddef>
#include <cstdint>
#include <string>

/// Reads the configurator's JSON profile file `jsonFile`, selects every hand
/// entry named `handName` and in it every profile named `profileName`, and
/// compiles each: DPI table, freeform DPI, dead zone and joystick mode into
/// pfg_state, its macros appended to pfg_state.macros, and its key bindings
/// handed to add_action in firmware button order (0..22, then 48..56).
///
/// The whole document is checked against the schema before anything is
/// compiled. Returns false when it breaks the schema; the reason is logged
/// as an "[ERROR]" line and nothing was changed or written. A file
/// larger than kMaxJsonFileSize is refused the same way. A file that
/// cannot be opened, a missing "testData" and an unmatched hand or profile
/// are not failures: nothing is compiled and the result is true.
bool processProfile(const char* jsonFile, const char* handName, const char* profileName);

/// Largest JSON file read; a larger one is refused.
constexpr size_t kMaxJsonFileSize = 64u * 1024 * 1024;

enum class JsonFileRead { Read, CannotRead, TooLarge };

/// Reads at most kMaxJsonFileSize bytes of the file `path` into `text`.
JsonFileRead readJsonFile(const char* path, std::string& text);

/// processProfile over JSON text already in memory; `source` names it in
/// the log's parse error line.
bool processProfileText(const std::string& text, const char* source, const char* handName, const char* profileName);

/// The freeform DPI value of a "freeform_dpi" setting f:
/// trunc(((f - 100) / -99) * 11000 + 5000), in single precision, low 16 bits.
uint16_t freeform_dpi_from_setting(int32_t setting);

/// The same before it is reduced to 16 bits.
int64_t freeform_dpi_unwrapped(int32_t setting);

/// The dead-zone value of a "dead_zone" setting (joystick mode 0).
uint16_t deadzone_from_setting(uint32_t setting);

#endif
