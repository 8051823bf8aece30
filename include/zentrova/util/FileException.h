// Failure of a File operation.
#ifndef ZENTROVA_UTIL_FILEEXCEPTION_H
#define ZENTROVA_UTIL_FILEEXCEPTION_H

#include <exception>
#include <string>

#include "zentrova/export.h"

/// Thrown by File. Carries the path and the system's error text; what()
/// returns the error text alone.
class ZENTROVA_API FileException : public std::exception {
public:
    /// Null arguments are taken as empty strings.
    FileException(const char* fileName, const char* message);
    ~FileException() override;

    const char* what() const noexcept override;

    /// The path of the file the failure concerns.
    const char* getFileName() const noexcept;

private:
    std::string fileName;
    std::string message;
};

#endif
