// Failure of a Socket operation.
#ifndef ZENTROVA_UTIL_SOCKETEXCEPTION_H
#define ZENTROVA_UTIL_SOCKETEXCEPTION_H

#include <exception>

#include "zentrova/export.h"

/// Thrown by Socket. Captures the thread's error number when it is constructed
/// and keeps its own copy of the system's text for it.
class ZENTROVA_API SocketException : public std::exception {
public:
    SocketException();
    ~SocketException() override;

    const char* what() const noexcept override;

    /// The error number captured at construction.
    int getErrorCode() const noexcept;

private:
    int errorCode;
    char textBuffer[256];
};

#endif
