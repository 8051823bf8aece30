// A libusb failure, carried by its message text, and the one table that
// turns libusb error codes into those texts.
#include "zentrova/usb/UsbException.h"

#include <libusb.h>

#include <cstdio>

#include "usb/UsbFailure.h"
#include "util/failure_detail.h"

namespace {

// What throwUsbError throws: the exported class with its text, and the
// libusb code (and device node) for the library's own callers.
class UsbFailure : public UsbException, public zentrova::FailureDetail {
public:
    UsbFailure(const char* message, int code, std::string node)
        : UsbException(message), FailureDetail(code, std::move(node)) {}
};

const char* usbErrorText(int code);

} // namespace

UsbException::UsbException(const char* message) : text(message ? message : "") {}

UsbException::~UsbException() = default;

const char* UsbException::what() const noexcept
{
    return text.c_str();
}

void throwUsbError(int code)
{
    throw UsbFailure(usbErrorText(code), code, std::string());
}

void throwUsbErrorAt(int code, libusb_device* device)
{
    std::string node;
    if (device) {
        char text[32];
        std::snprintf(text, sizeof text, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                      libusb_get_device_address(device));
        node = text;
    }
    throw UsbFailure(usbErrorText(code), code, std::move(node));
}

namespace {

const char* usbErrorText(int code)
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
    return message;
}

} // namespace
