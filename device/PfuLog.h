// Writing to pfu_log: formatted, flushed at once, nothing when no log is open.
#ifndef ZENTROVA_DEVICE_PFULOG_INTERNAL_H
#define ZENTROVA_DEVICE_PFULOG_INTERNAL_H

#include "util/log_line.h"

namespace zentrova {

// printf-style line into pfu_log, flushed; a no-op while pfu_log is null.
void pfuLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zentrova

#endif
