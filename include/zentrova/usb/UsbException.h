// Errors of the USB transport: every libusb failure becomes a UsbException
// whose message comes from one fixed table of libusb error codes.
#ifndef ZENTROVA_USB_USBEXCEPTION_H
#define ZENTROVA_USB_USBEXCEPTION_H

#include <exception>
#include <memory>

#include "zentrova/export.h"

class ZENTROVA_API UsbException : public std::exception {
public:
    // Keeps its own copy of `message` (a null message reads as "").
    explicit UsbException(const char* message);
    // Each copy owns its own text.
    UsbException(const UsbException& other);
    UsbException& operator=(const UsbException& other);
    UsbException(UsbException&& other) noexcept;
    UsbException& operator=(UsbException&& other) noexcept;
    ~UsbException() override;

    const char* what() const noexcept override;

private:
    std::unique_ptr<char[]> text;
};

// Throws a UsbException with the message for the libusb error `code`
// ("IO error", "timeout", "stall", ...; "unknown error" for codes outside
// -1 to -12). Never returns.
[[noreturn]] ZENTROVA_API void throwUsbError(int code);

#endif
