// Key and button tables: the configurator's (Unity) key names, KeyCode
// numbers and mouse-button numbers translated to HID keyboard usage codes and
// the firmware's button indices.
//
// Both tables are searched linearly from the first row and the first matching
// row wins (e.g. Unity code 44 is "comma" 0x36, never "sysreq"). Every lookup
// returns -1 when nothing matches; callers that keep only the low byte see 255.
//
// Linkage: C. The tables and the four functions resolve by their plain names.
#ifndef ZENTROVA_PROFILE_KEY_TABLES_H
#define ZENTROVA_PROFILE_KEY_TABLES_H

#include <stdint.h>

#include "zentrova/export.h"

#define KEY_CODE_MAP_ROWS 118
#define MOUSE_KEY_MAP_ROWS 29

/// One keyboard key. name is NUL-terminated lower case; hid_code 0xE0..0xE7
/// are the modifier keys; unity_code is -1 where the key has no KeyCode.
typedef struct key_code_map_t {
    char name[16];
    uint8_t hid_code;
    int32_t unity_code;
} key_code_map_t;

/// One configurator mouse-button number and its firmware button index.
typedef struct mouse_key_map_t {
    int32_t unity_button;
    uint8_t fw_button;
} mouse_key_map_t;

ZENTROVA_EXTERN_C_BEGIN

ZENTROVA_API extern const key_code_map_t key_code_map[KEY_CODE_MAP_ROWS];
ZENTROVA_API extern const mouse_key_map_t mouse_key_map[MOUSE_KEY_MAP_ROWS];

/// Case-insensitive comparison: 0 when equal ignoring case, otherwise the
/// difference of the lower-cased characters (as signed bytes) at the first
/// position where they differ, the terminating NUL included. A null argument
/// sorts before any string; two nulls are equal.
ZENTROVA_API int strcmpcase(const char* a, const char* b);

/// hid_code of the first key_code_map row whose name equals `name` ignoring
/// case; -1 when none does (or name is null).
ZENTROVA_API int get_hid_scan_code_by_unity_description(const char* name);

/// hid_code of the first key_code_map row with this Unity KeyCode; -1 when
/// none, and for -1 itself (the mark of keys without a KeyCode).
ZENTROVA_API int pccode_to_hidcode(int unity_code);

/// fw_button of the first mouse_key_map row with this configurator
/// mouse-button number; -1 when none.
ZENTROVA_API int convert_unity_button_to_fw_button_index(int unity_button);

ZENTROVA_EXTERN_C_END

#endif
