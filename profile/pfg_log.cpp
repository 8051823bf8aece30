#include "profile/pfg_log.h"

#include <cstdarg>
#include <cstdio>

#include "profile/pfg_state.h"
#include "util/log_line.h"

void pfg_log_write(const char* format, ...)
{
    FILE* log = pfg_state.pfg_log;
    if (log == nullptr)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(log, format, args);
    va_end(args);
}

void pfg_log_flush()
{
    if (pfg_state.pfg_log != nullptr)
        std::fflush(pfg_state.pfg_log);
}

void pfg_log_line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    zentrova::vlogTo(pfg_state.pfg_log, format, args);
    va_end(args);
}
