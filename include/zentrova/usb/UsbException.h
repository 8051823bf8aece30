// Errors of the USB transport: every libusb failure becomes a UsbException
// whose message comes from one fixed table of libusb error codes.
#ifndef ZENTROVA_USB_USBEXCEPTION_H
#define ZENTROVA_USB_USBEXCEPTION_H

#include <exception>
#include <string>

#include "zentrova/export.h"

class ZENTROVA_API UsbException : public std::exception {
public:
    // Keeps its own copy of `message` (a null message reads as ""); so does
    // every copy of the exception.
    explicit UsbException(const char* message);
    ~UsbException() override;

    const char* what() const noexcept override;

private:
    std::string text;
};

// Throws a UsbException with the message for the libusb error `code`
// ("IO error", "timeout", "stall", ...; "unknown error" for codes outside
// -1 to -12). Never returns.
[[noreturn]] ZENTROVA_API void throwUsbError(int code);

#endif
