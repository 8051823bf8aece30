#include "device/PfuLog.h"

#include "zentrova/device/PfuLog.h"

FILE* pfu_log = nullptr;

namespace zentrova {

void pfuLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vlogTo(pfu_log, format, args);
    va_end(args);
}

std::mutex& deviceEntryLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace zentrova
