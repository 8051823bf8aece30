// Lines of "pfg.log". Every writer goes through these helpers, which do
// nothing while the log is not open (it may fail to open, and the unit tests
// run the compiler without one).
#ifndef ZENTROVA_PROFILE_PFG_LOG_H
#define ZENTROVA_PROFILE_PFG_LOG_H

/// printf-style line to pfg.log, not flushed.
void pfg_log_write(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Flushes pfg.log.
void pfg_log_flush();

/// printf-style line to pfg.log, flushed at once.
void pfg_log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tags of the compiler's lines, printed left-aligned in 16 characters.
#define PFG_TAG_ERROR "[ERROR]"
#define PFG_TAG_MACRO "[MACRO]"
#define PFG_TAG_KEY_REPEATER "[KEY_REPEATER]"

#endif
