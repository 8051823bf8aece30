#include "util/log_line.h"

namespace zentrova {

void vlogTo(std::FILE* stream, const char* format, va_list args)
{
    if (!stream)
        return;
    std::vfprintf(stream, format, args);
    std::fflush(stream);
}

void logTo(std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vlogTo(stream, format, args);
    va_end(args);
}

} // namespace zentrova
