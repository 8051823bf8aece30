// A private temporary directory per test (ctest runs tests in parallel), with
// an optional chdir into it for code that writes its logs into the current
// directory. Removed with its content at the end.
#ifndef ZENTROVA_TESTS_SUPPORT_TEMPDIR_H
#define ZENTROVA_TESTS_SUPPORT_TEMPDIR_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
public:
    explicit TempDir(bool enter = false)
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zentrova-test-XXXXXX").string();
        if (mkdtemp(tmpl.data()))
            dir = tmpl;
        if (enter && !dir.empty()) {
            previous = std::filesystem::current_path();
            std::filesystem::current_path(dir);
        }
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!previous.empty())
            std::filesystem::current_path(previous, ec);
        if (!dir.empty())
            std::filesystem::remove_all(dir, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string text(const std::string& name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string dir;

private:
    std::filesystem::path previous;
};

#endif
