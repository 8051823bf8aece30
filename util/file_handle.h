// Owned files: a C stream or a descriptor, closed when the handle goes, on
// every path.
#ifndef ZENTROVA_UTIL_FILE_HANDLE_H
#define ZENTROVA_UTIL_FILE_HANDLE_H

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <utility>

namespace zentrova {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

/// A file descriptor; negative for none.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    /// Closes the descriptor; close's result (0 or -1 with errno set), 0 when there was none.
    int reset()
    {
        return fd_ >= 0 ? ::close(std::exchange(fd_, -1)) : 0;
    }

private:
    int fd_ = -1;
};

/// Writes all `length` bytes of `data` to `fd`, going on after interruptions
/// and short writes. 0, or the error number of the failure (ENOSPC when the
/// file took no more).
inline int writeAll(int fd, const void* data, size_t length)
{
    const char* at = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, at, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        at += n;
        length -= static_cast<size_t>(n);
    }
    return 0;
}

} // namespace zentrova

#endif
