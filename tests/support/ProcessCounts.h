// What a process holds, read from /proc: open file descriptors (all, or
// those open on one path), threads, resident memory.
#ifndef ZENTROVA_TESTS_SUPPORT_PROCESSCOUNTS_H
#define ZENTROVA_TESTS_SUPPORT_PROCESSCOUNTS_H

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

// Descriptors of this process; with `path`, only those open on it (also
// once it is deleted).
inline size_t openDescriptors(const std::string& path = "")
{
    size_t n = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec))
        if (path.empty() || std::filesystem::read_symlink(entry.path(), ec).string().rfind(path, 0) == 0)
            ++n;
    return n - (path.empty() ? 1 : 0); // the directory's own
}

// Whether `count()` comes down to `limit` within a second: an in-process
// simulator's worker closes its end of a connection a moment after the
// client has closed its own (so a start figure may hold one that closes).
template <typename Count>
bool settlesWithin(size_t limit, Count count)
{
    for (int i = 0; i < 200 && count() > limit; ++i)
        usleep(5000);
    return count() <= limit;
}

inline size_t threads()
{
    size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", ec); !ec && it != decltype(it)(); ++it)
        ++n;
    return n;
}

// Resident set size in bytes.
inline size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

} // namespace testsupport

#endif
