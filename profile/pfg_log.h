// Lines of "pfg.log". Every writer goes through these helpers, which hand the
// formatted text to the generation's log sink and do nothing while there is
// none (doPfg's pfg.log may fail to open, and the unit tests run the
// compiler without one).
#ifndef ZENTROVA_PROFILE_PFG_LOG_H
#define ZENTROVA_PROFILE_PFG_LOG_H

#include <cstddef>

/// Where a generation's log text goes: pfg.log for doPfg, memory for the
/// compiler API. Also used for the progress lines doPfg prints.
class PfgLogSink {
public:
    virtual ~PfgLogSink() = default;
    /// Text of one write: one or more whole lines, each ending in '\n'.
    virtual void write(const char* text, size_t length) = 0;
    /// The end of a line or block that is to be flushed.
    virtual void flush() {}
    /// Everything written so far, in the file now: called before the
    /// generation does anything that can be seen from outside.
    virtual void sync() {}
};

/// printf-style line to the log, not flushed.
void pfg_log_write(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// A flush point: the end of a line or block (see PfgLogSink::flush).
void pfg_log_flush();

/// Puts what the log holds into its file now (see PfgLogSink::sync).
void pfg_log_sync();

/// printf-style line to the log, flushed at once.
void pfg_log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tags of the compiler's lines, printed left-aligned in 16 characters.
#define PFG_TAG_ERROR "[ERROR]"
#define PFG_TAG_MACRO "[MACRO]"
#define PFG_TAG_KEY_REPEATER "[KEY_REPEATER]"

#endif
