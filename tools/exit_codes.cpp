#include "exit_codes.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

using zentrova::Cause;

int exitCodeFor(Cause cause)
{
    switch (cause) {
    case Cause::Done: return 0;
    case Cause::NoMouse:
    case Cause::SeveralMice: return 3;
    case Cause::AccessDenied: return 4;
    case Cause::Disconnected: return 5;
    case Cause::Timeout:
    case Cause::Busy: return 6;
    case Cause::DeviceError: return 7;
    case Cause::InvalidFile:
    case Cause::UnreadableFile: return 8;
    case Cause::NothingToDo: return 9;
    case Cause::UsbError:
    case Cause::Unexpected: break;
    }
    return 1;
}

const char* exitStatusTable()
{
    return "  0  success\n"
           "  1  other failure (USB error, unexpected)\n"
           "  2  usage error (bad command line)\n"
           "  3  no mouse, or several and none chosen\n"
           "  4  access denied\n"
           "  5  mouse disconnected\n"
           "  6  timeout or busy\n"
           "  7  the mouse reported an error\n"
           "  8  invalid or unreadable file (incl. a profile with errors)\n"
           "  9  nothing to do\n";
}

std::string exitCodeTable() { return std::string("exit codes:\n") + exitStatusTable(); }

void fail(Cause cause, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    throw ToolFailure(cause, text.data());
}
