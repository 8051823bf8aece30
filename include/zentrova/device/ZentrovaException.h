// Protocol-level failure reported by the mouse (for instance status 2,
// "communication error") or by an upload's size check.
#ifndef ZENTROVA_DEVICE_ZENTROVAEXCEPTION_H
#define ZENTROVA_DEVICE_ZENTROVAEXCEPTION_H

#include <exception>
#include <memory>

#include "zentrova/export.h"

class ZENTROVA_API ZentrovaException : public std::exception {
public:
    // Keeps its own copy of `message` (a null message reads as "").
    explicit ZentrovaException(const char* message);
    // Each copy owns its own text.
    ZentrovaException(const ZentrovaException& other);
    ZentrovaException& operator=(const ZentrovaException& other);
    ZentrovaException(ZentrovaException&& other) noexcept;
    ZentrovaException& operator=(ZentrovaException&& other) noexcept;
    ~ZentrovaException() override;

    const char* what() const noexcept override;

private:
    std::unique_ptr<char[]> text;
};

#endif
