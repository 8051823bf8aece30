// A libusb failure, carried by its message text, and the one table that
// turns libusb error codes into those texts.
#include "zentrova/usb/UsbException.h"

#include <libusb.h>

UsbException::UsbException(const char* message) : text(message ? message : "") {}

UsbException::~UsbException() = default;

const char* UsbException::what() const noexcept
{
    return text.c_str();
}

void throwUsbError(int code)
{
    const char* message;
    switch (code) {
    case LIBUSB_ERROR_IO:            message = "IO error"; break;
    case LIBUSB_ERROR_INVALID_PARAM: message = "invalid parameter"; break;
    case LIBUSB_ERROR_ACCESS:        message = "access denied (insufficient permissions)"; break;
    case LIBUSB_ERROR_NO_DEVICE:     message = "no such device (it may have been disconnected)"; break;
    case LIBUSB_ERROR_NOT_FOUND:     message = "entity not found"; break;
    case LIBUSB_ERROR_BUSY:          message = "resource busy"; break;
    case LIBUSB_ERROR_TIMEOUT:       message = "timeout"; break;
    case LIBUSB_ERROR_OVERFLOW:      message = "overflow error"; break;
    case LIBUSB_ERROR_PIPE:          message = "stall"; break;
    case LIBUSB_ERROR_INTERRUPTED:   message = "system call interrupted (perhaps due to signal)"; break;
    case LIBUSB_ERROR_NO_MEM:        message = "insufficient memory"; break;
    case LIBUSB_ERROR_NOT_SUPPORTED: message = "operation not supported or unimplemented on this platform"; break;
    default:                         message = "unknown error"; break;
    }
    throw UsbException(message);
}
