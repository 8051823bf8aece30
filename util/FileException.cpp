#include "zentrova/util/FileException.h"

FileException::FileException(const char* fileName, const char* message)
    : fileName(fileName ? fileName : ""), message(message ? message : "")
{
}

FileException::~FileException() = default;

const char* FileException::what() const noexcept
{
    return message.c_str();
}

const char* FileException::getFileName() const noexcept
{
    return fileName.c_str();
}
