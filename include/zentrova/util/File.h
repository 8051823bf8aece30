// Buffered file that remembers its path and mode and reports failures as
// FileException.
#ifndef ZENTROVA_UTIL_FILE_H
#define ZENTROVA_UTIL_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "zentrova/export.h"
#include "zentrova/util/FileException.h"

/// Owns one standard stream; large files (offsets beyond 2 GiB) are supported.
/// Failures of open, close, getSize, getPos, seek and gets throw FileException
/// with the path and the system's error text; read and write report through
/// their counts. On a File that is not open, read and write return 0 and the
/// other operations throw FileException with the text of EBADF.
class ZENTROVA_API File {
public:
    File();
    /// Stores path and mode (a standard stream mode such as "rb"); does not open.
    File(const char* fileName, const char* accessMode);
    ~File(); ///< closes an open stream, ignoring the result

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    void setFileName(const char* fileName);
    void setAccessMode(const char* accessMode);

    /// Opens the file; does nothing when it is already open.
    void open();
    /// Closes the file (the File is closed afterwards even when this throws).
    void close();

    /// Size in bytes; the position is left where it was.
    int64_t getSize();
    int64_t getPos();
    /// Moves to an absolute offset.
    void seek(uint64_t offset);
    void rewind();

    /// Whole elements read / written.
    size_t read(void* buffer, size_t elementSize, size_t count);
    size_t write(const void* buffer, size_t elementSize, size_t count);

    /// Reads one line of at most size - 1 characters (NUL-terminated) into
    /// `buffer` and returns it; returns null at the end of the file.
    char* gets(char* buffer, uint64_t size);

private:
    std::string fileName;
    std::string accessMode;
    FILE* stream;
};

#endif
