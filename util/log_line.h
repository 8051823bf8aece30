// Writing a line to one of the library's log files: formatted, flushed at
// once, and nothing at all when the log is not open (a null stream).
#ifndef ZENTROVA_UTIL_LOG_LINE_H
#define ZENTROVA_UTIL_LOG_LINE_H

#include <cstdarg>
#include <cstdio>

namespace zentrova {

void logTo(std::FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void vlogTo(std::FILE* stream, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

} // namespace zentrova

#endif
