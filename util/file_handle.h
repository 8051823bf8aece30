// An owned C stream: closed when the handle goes, on every path.
#ifndef ZENTROVA_UTIL_FILE_HANDLE_H
#define ZENTROVA_UTIL_FILE_HANDLE_H

#include <cstdio>
#include <memory>

namespace zentrova {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

} // namespace zentrova

#endif
