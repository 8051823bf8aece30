// Profile generation: the configurator's JSON profile file to the binary
// profile image that the mouse executes.
//
// doPfg(jsonFile, rightHand, profileName, outputFile) compiles the profile
// `profileName` (at most 30 characters) of the "Right Mouse" entry of the JSON
// file (rightHand != 0) or of its "Left Mouse" entry (rightHand == 0) into the
// image file `outputFile`, created or replaced. The image layout is
// zentrova::ProfileImage's (zentrova/profile/ProfileImage.h). The image is
// made in memory and written once: to a new file beside `outputFile`, which
// is then renamed over it.
//
// The result is always 0. What happened is written to "pfg.log" in the
// current directory (appended). A hand entry or profile that the file does
// not hold, or a JSON file that cannot be opened, gives a valid image without
// programs. A document that breaks the schema, a JSON file larger than 64
// MiB, a profile name longer than 30 characters, an `outputFile` that is the
// JSON file itself and a failure to write the image (with the system's
// reason) leave an "[ERROR]" line in pfg.log, and whatever was at
// `outputFile` stays as it was.
//
// init() opens pfg.log and resets the generator's state; deinit() closes the
// log. doPfg calls both itself. Each line is in pfg.log before the call does
// anything that can be seen from outside (a progress line on standard output,
// the image file) and before it returns; the lines in between go to the file
// together. The state is process-wide; doPfg calls and
// zentrova::compileProfile calls run one at a time. The DPI table, freeform
// DPI and joystick mode of the last profile doPfg compiled carry over to its
// next call until a profile sets them. zentrova::compileProfile
// (zentrova/profile/Compiler.h) gives the same image with diagnostics
// instead of log lines.
//
// C linkage: the three functions resolve by their plain names with dlsym().
#ifndef ZENTROVA_PROFILE_PFG_H
#define ZENTROVA_PROFILE_PFG_H

#include "zentrova/export.h"

ZENTROVA_EXTERN_C_BEGIN

ZENTROVA_API int doPfg(const char* jsonFile, int rightHand, const char* profileName, const char* outputFile);
ZENTROVA_API void init(void);
ZENTROVA_API void deinit(void);

ZENTROVA_EXTERN_C_END

#endif
