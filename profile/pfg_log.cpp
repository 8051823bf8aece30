#include "profile/pfg_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "profile/pfg_state.h"

namespace {

void vwrite(const char* format, va_list args)
{
    PfgLogSink* log = pfg_state.log;
    if (log == nullptr)
        return;
    char small[1024];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof small) {
        log->write(small, static_cast<size_t>(n));
        return;
    }
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    log->write(text.data(), static_cast<size_t>(n));
}

} // namespace

void pfg_log_write(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vwrite(format, args);
    va_end(args);
}

void pfg_log_flush()
{
    if (pfg_state.log != nullptr)
        pfg_state.log->flush();
}

void pfg_log_sync()
{
    if (pfg_state.log != nullptr)
        pfg_state.log->sync();
}

void pfg_log_line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vwrite(format, args);
    va_end(args);
    pfg_log_flush();
}
