#include "device/PfuLog.h"

#include <cstdarg>

#include "zentrova/device/PfuLog.h"

FILE* pfu_log = nullptr;

namespace zentrova {

void vlogTo(std::FILE* stream, const char* format, va_list args)
{
    if (!stream)
        return;
    std::vfprintf(stream, format, args);
    std::fflush(stream);
}

void pfuLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vlogTo(pfu_log, format, args);
    va_end(args);
}

void logTo(std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vlogTo(stream, format, args);
    va_end(args);
}

} // namespace zentrova
