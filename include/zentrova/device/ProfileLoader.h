// Profile image loader: validates a profile image file and lays it out in
// memory.
//
// The image layout is zentrova::ProfileImage's (in
// zentrova/profile/ProfileImage.h): a 60-byte header followed by program
// records. check_profile fills the caller's buffer with a LoadedProfile head
// record directly followed by the program bytes, in file order and without
// gaps; each used program index points into that area, unused ones stay null
// with size 0.
//
// Every step writes a line into pfu_log (when it is open). The loader reads
// the file once (at most 60 + bufferSize bytes), throws nothing and always
// closes the file.
#ifndef ZENTROVA_DEVICE_PROFILELOADER_H
#define ZENTROVA_DEVICE_PROFILELOADER_H

#include <stdbool.h>
#include <stdint.h>

#include "zentrova/export.h"

#define ZENTROVA_PROFILE_HEADER_SIZE 60
#define ZENTROVA_PROFILE_MAX_PROGRAM_INDEX 80

ZENTROVA_EXTERN_C_BEGIN

typedef struct ProgramRef {
    uint8_t* data; /* first bytecode byte inside the caller's buffer, or null */
    uint16_t size; /* bytecode length */
} ProgramRef;

typedef struct LoadedProfile {
    uint16_t ctrl_deadzone; /* header offset 40 */
    uint16_t program_count; /* header offset 56 */
    ProgramRef programs[ZENTROVA_PROFILE_MAX_PROGRAM_INDEX + 1]; /* by program index */
} LoadedProfile;

/* Validates the image at `path` and lays it out in `buffer` (bufferSize bytes,
 * aligned for LoadedProfile and at least sizeof(LoadedProfile) large,
 * otherwise false at once without opening the file or logging). A body
 * (everything after the header) larger than bufferSize fails at the CRC
 * step, and the bytecode of all programs must fit the buffer behind the head
 * record; with the device tool's 8192 bytes that is
 * zentrova::ProfileImage::fitsLoader(). Bytes after the last record are
 * only a warning. `profileName` (may be null) is not used. On false the
 * buffer may be partly overwritten and must not be used. */
ZENTROVA_API bool check_profile(void* buffer, unsigned long bufferSize, const char* profileName,
                                const char* path);

ZENTROVA_EXTERN_C_END

#endif
