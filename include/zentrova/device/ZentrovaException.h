// Protocol-level failure reported by the mouse (for instance status 2,
// "communication error") or by an upload's size check.
#ifndef ZENTROVA_DEVICE_ZENTROVAEXCEPTION_H
#define ZENTROVA_DEVICE_ZENTROVAEXCEPTION_H

#include <exception>
#include <string>

#include "zentrova/export.h"

class ZENTROVA_API ZentrovaException : public std::exception {
public:
    // Keeps its own copy of `message` (a null message reads as ""); so does
    // every copy of the exception.
    explicit ZentrovaException(const char* message);
    ~ZentrovaException() override;

    const char* what() const noexcept override;

private:
    std::string text;
};

#endif
