#include "sim/Preload.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cerrno>
#include <cstring>

namespace zentrova::sim {

namespace {
constexpr const char* REEXEC_MARK = "ZENTROVA_SIM_REEXEC";
}

bool preloadActive()
{
    void* lib = dlopen(UMOCKDEV_PRELOAD, RTLD_LAZY | RTLD_NOLOAD);
    if (!lib)
        return false;
    dlclose(lib);
    return true;
}

std::string childPreload(const std::string& userPreload)
{
    std::string value = UMOCKDEV_PRELOAD;
    if (!userPreload.empty())
        value += ":" + userPreload;
    return value;
}

std::string asanOptionsWithPreload(const char* current)
{
    std::string options = current ? current : "";
    if (options.find("verify_asan_link_order") == std::string::npos) {
        if (!options.empty())
            options += ":";
        options += "verify_asan_link_order=0";
    }
    return options;
}

void ensurePreload(char** argv)
{
    if (preloadActive()) {
        unsetenv(REEXEC_MARK);
        return;
    }
    if (getenv(REEXEC_MARK)) {
        std::fprintf(stderr, "%s: cannot load %s (is umockdev installed?)\n", argv && argv[0] ? argv[0] : "",
                     UMOCKDEV_PRELOAD);
        _exit(127);
    }
    const char* user = getenv("LD_PRELOAD");
    setenv("LD_PRELOAD", childPreload(user ? user : "").c_str(), 1);
    setenv("ASAN_OPTIONS", asanOptionsWithPreload(getenv("ASAN_OPTIONS")).c_str(), 1);
    setenv(REEXEC_MARK, "1", 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "cannot re-execute %s: %s\n", argv && argv[0] ? argv[0] : "", std::strerror(errno));
    _exit(127);
}

} // namespace zentrova::sim
