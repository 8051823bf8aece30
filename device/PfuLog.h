// Writing to pfu_log: formatted, flushed at once, nothing when no log is open.
#ifndef ZENTROVA_DEVICE_PFULOG_INTERNAL_H
#define ZENTROVA_DEVICE_PFULOG_INTERNAL_H

#include <cstdarg>
#include <cstdio>

namespace zentrova {

// printf-style line into pfu_log, flushed; a no-op while pfu_log is null.
void pfuLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same into any stream (null: nothing is written).
void logTo(std::FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void vlogTo(std::FILE* stream, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

} // namespace zentrova

#endif
