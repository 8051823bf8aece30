#include "zentrova/util/File.h"

#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>

// The library is compiled with 64-bit file offsets; the stream calls below
// (fopen, fseeko, ftello) are then the large-file ones.
static_assert(sizeof(off_t) == 8, "File needs 64-bit file offsets");

namespace {

[[noreturn]] void failWith(const std::string& fileName, int errorNumber)
{
    throw FileException(fileName.c_str(), std::strerror(errorNumber));
}

} // namespace

File::File() : stream(nullptr) {}

File::File(const char* fileName, const char* accessMode)
    : fileName(fileName ? fileName : ""), accessMode(accessMode ? accessMode : ""), stream(nullptr)
{
}

File::~File()
{
    if (stream)
        std::fclose(stream);
}

File::File(File&& other) noexcept
    : fileName(std::move(other.fileName)), accessMode(std::move(other.accessMode)), stream(other.stream)
{
    other.stream = nullptr;
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        if (stream)
            std::fclose(stream);
        fileName = std::move(other.fileName);
        accessMode = std::move(other.accessMode);
        stream = other.stream;
        other.stream = nullptr;
    }
    return *this;
}

void File::setFileName(const char* name)
{
    fileName = name ? name : "";
}

void File::setAccessMode(const char* mode)
{
    accessMode = mode ? mode : "";
}

void File::open()
{
    if (stream)
        return;
    errno = 0;
    stream = std::fopen(fileName.c_str(), accessMode.c_str());
    if (!stream)
        failWith(fileName, errno ? errno : EINVAL);
}

void File::close()
{
    if (!stream)
        return;
    FILE* closing = stream;
    stream = nullptr;
    if (std::fclose(closing) != 0)
        failWith(fileName, errno);
}

int64_t File::getPos()
{
    if (!stream)
        failWith(fileName, EBADF);
    const off_t pos = ftello(stream);
    if (pos < 0)
        failWith(fileName, errno);
    return static_cast<int64_t>(pos);
}

void File::seek(uint64_t offset)
{
    if (!stream)
        failWith(fileName, EBADF);
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()))
        failWith(fileName, EINVAL);
    if (fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0)
        failWith(fileName, errno);
}

void File::rewind()
{
    seek(0);
}

int64_t File::getSize()
{
    const int64_t pos = getPos();
    if (fseeko(stream, 0, SEEK_END) != 0)
        failWith(fileName, errno);
    const off_t size = ftello(stream);
    if (size < 0) {
        const int error = errno;
        fseeko(stream, static_cast<off_t>(pos), SEEK_SET);
        failWith(fileName, error);
    }
    if (fseeko(stream, static_cast<off_t>(pos), SEEK_SET) != 0)
        failWith(fileName, errno);
    return static_cast<int64_t>(size);
}

size_t File::read(void* buffer, size_t elementSize, size_t count)
{
    if (!stream || !buffer || elementSize == 0 || count == 0)
        return 0;
    return std::fread(buffer, elementSize, count, stream);
}

size_t File::write(const void* buffer, size_t elementSize, size_t count)
{
    if (!stream || !buffer || elementSize == 0 || count == 0)
        return 0;
    return std::fwrite(buffer, elementSize, count, stream);
}

char* File::gets(char* buffer, uint64_t size)
{
    if (!stream)
        failWith(fileName, EBADF);
    if (!buffer || size == 0)
        failWith(fileName, EINVAL);
    // fgets takes an int; a larger buffer is only filled up to INT_MAX - 1 characters.
    const int limit = size > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    std::clearerr(stream); // the error indicator must describe this read only
    if (std::fgets(buffer, limit, stream))
        return buffer;
    if (std::ferror(stream))
        failWith(fileName, errno);
    return nullptr;
}
