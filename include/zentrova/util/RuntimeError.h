// Leaving a tool's main flow by exception.
#ifndef ZENTROVA_UTIL_RUNTIMEERROR_H
#define ZENTROVA_UTIL_RUNTIMEERROR_H

#include "zentrova/export.h"

/// Throws std::runtime_error whose what() is the printf-style formatted text
/// (no length limit).
[[noreturn]] ZENTROVA_API void runtime_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Throws the unsigned int 0, which a tool's outermost handler catches and
/// returns as its exit status. It is not a std::exception.
[[noreturn]] ZENTROVA_API void exit_success();

#endif
