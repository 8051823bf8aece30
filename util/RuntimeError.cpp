#include "zentrova/util/RuntimeError.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string>

void runtime_error(const char* format, ...)
{
    if (!format)
        throw std::runtime_error("");

    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        // The text cannot be formatted (an encoding error): report the format itself.
        va_end(again);
        throw std::runtime_error(format);
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, again);
    va_end(again);
    text.resize(static_cast<size_t>(length));
    throw std::runtime_error(text);
}

void exit_success()
{
    throw 0u;
}
