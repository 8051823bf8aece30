// A protocol-level failure of the mouse, carried by its message text.
#include "zentrova/device/ZentrovaException.h"

ZentrovaException::ZentrovaException(const char* message) : text(message ? message : "") {}

ZentrovaException::~ZentrovaException() = default;

const char* ZentrovaException::what() const noexcept
{
    return text.c_str();
}
