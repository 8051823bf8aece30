// Writing to pfu_log: formatted, flushed at once, nothing when no log is open.
#ifndef ZENTROVA_DEVICE_PFULOG_INTERNAL_H
#define ZENTROVA_DEVICE_PFULOG_INTERNAL_H

#include <mutex>

#include "util/log_line.h"

namespace zentrova {

// printf-style line into pfu_log, flushed; a no-op while pfu_log is null.
void pfuLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// doPfu and getFwVersion share pfu_log, "pfu.log" and "driver.log": each
// call holds this lock from start to end, so an overlapping call from
// another thread waits instead of corrupting them.
std::mutex& deviceEntryLock();

} // namespace zentrova

#endif
