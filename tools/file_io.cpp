#include "file_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "zentrova/util/File.h"
#include "zentrova/util/RuntimeError.h"

std::vector<uint8_t> readWholeFile(const std::string& path, int64_t maxSize)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        runtime_error("%s: %s", path.c_str(), std::strerror(EISDIR));
    try {
        File file(path.c_str(), "rb");
        file.open();
        const int64_t size = file.getSize();
        if (size > maxSize)
            runtime_error("%s: %lld bytes is more than the %lld this command reads", path.c_str(),
                          static_cast<long long>(size), static_cast<long long>(maxSize));
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        if (size > 0 && file.read(bytes.data(), 1, bytes.size()) != bytes.size())
            runtime_error("%s: could not read all %lld bytes", path.c_str(), static_cast<long long>(size));
        file.close();
        return bytes;
    } catch (const FileException& e) {
        runtime_error("%s: %s", path.c_str(), e.what());
    }
}
