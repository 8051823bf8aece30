#include "zentrova/util/SocketException.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// strerror_r comes in two flavours: the GNU one returns the text (which may be
// a constant string of the system), the POSIX one fills the buffer.
[[maybe_unused]] const char* errorText(char* result, const char*)
{
    return result;
}

[[maybe_unused]] const char* errorText(int, const char* buffer)
{
    return buffer;
}

} // namespace

SocketException::SocketException() : errorCode(errno)
{
    // The text is copied into this object's own buffer, so a copy of the
    // exception never points into another object.
    char scratch[sizeof textBuffer];
    scratch[0] = '\0';
    const char* text = errorText(strerror_r(errorCode, scratch, sizeof scratch), scratch);
    std::snprintf(textBuffer, sizeof textBuffer, "%s", text ? text : scratch);
}

SocketException::~SocketException() = default;

const char* SocketException::what() const noexcept
{
    return textBuffer;
}

int SocketException::getErrorCode() const noexcept
{
    return errorCode;
}
