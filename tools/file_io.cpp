#include "file_io.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "exit_codes.h"
#include "zentrova/util/File.h"

using zentrova::Cause;

namespace {

// A pipe has no size to ask for: read it to its end.
std::vector<uint8_t> readPipe(const std::string& path, int64_t maxSize)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        fail(Cause::UnreadableFile, "%s: %s", path.c_str(), std::strerror(errno));
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0 && static_cast<int64_t>(bytes.size()) <= maxSize)
        bytes.insert(bytes.end(), buffer, buffer + n);
    const bool failed = std::ferror(in);
    std::fclose(in);
    if (failed)
        fail(Cause::UnreadableFile, "%s: could not read to the end", path.c_str());
    if (static_cast<int64_t>(bytes.size()) > maxSize)
        fail(Cause::InvalidFile, "%s: more than the %lld bytes this command reads", path.c_str(),
             static_cast<long long>(maxSize));
    return bytes;
}

} // namespace

std::vector<uint8_t> readWholeFile(const std::string& path, int64_t maxSize)
{
    struct stat st;
    const bool found = stat(path.c_str(), &st) == 0;
    if (found && S_ISDIR(st.st_mode))
        fail(Cause::UnreadableFile, "%s: %s", path.c_str(), std::strerror(EISDIR));
    if (found && S_ISFIFO(st.st_mode)) // a pipe ("zentrova compile ... -o - | zentrova inspect /dev/stdin")
        return readPipe(path, maxSize);
    try {
        File file(path.c_str(), "rb");
        file.open();
        const int64_t size = file.getSize();
        if (size > maxSize)
            fail(Cause::InvalidFile, "%s: %lld bytes is more than the %lld this command reads", path.c_str(),
                 static_cast<long long>(size), static_cast<long long>(maxSize));
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        if (size > 0 && file.read(bytes.data(), 1, bytes.size()) != bytes.size())
            fail(Cause::UnreadableFile, "%s: could not read all %lld bytes", path.c_str(),
                 static_cast<long long>(size));
        file.close();
        return bytes;
    } catch (const FileException& e) {
        fail(Cause::UnreadableFile, "%s: %s", path.c_str(), e.what());
    }
}

namespace {

bool writeAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

void storeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    if (path == "-") {
        std::fflush(stdout);
        if (!writeAll(STDOUT_FILENO, bytes))
            fail(Cause::Unexpected, "cannot write to standard output: %s", std::strerror(errno));
        return;
    }
    std::string temp = path + ".partial-XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0)
        fail(Cause::Unexpected, "cannot write %s: %s", path.c_str(), std::strerror(errno));
    if (!writeAll(fd, bytes)) {
        const int error = errno;
        close(fd);
        unlink(temp.c_str());
        fail(Cause::Unexpected, "cannot write %s: %s", path.c_str(), std::strerror(error));
    }
    // mkstemp creates 0600; the result is an ordinary file of the user's.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        fail(Cause::Unexpected, "cannot write %s: %s", path.c_str(), std::strerror(error));
    }
}
