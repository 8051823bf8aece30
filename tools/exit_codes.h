// Exit codes of the zentrova command, one per kind of failure, so that a
// script can tell "no mouse" from "bad file".
#ifndef ZENTROVA_TOOL_EXIT_CODES_H
#define ZENTROVA_TOOL_EXIT_CODES_H

#include "zentrova/device/Result.h"

// The exit code for the cause of a failed (or successful) operation.
int exitCodeFor(zentrova::Cause cause);

// The codes and their meaning, one "CODE  meaning" line each, for --help,
// the manual page and the README.
const char* exitStatusTable();

#endif
