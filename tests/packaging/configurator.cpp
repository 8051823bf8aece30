// What a configurator does with an installed libzentrova: load
// libzentrova.so.1 with dlopen, compile a profile of a JSON file into an
// image, upload the image into a slot of the right-hand mouse, unload.
//
//   configurator PROFILES.json PROFILE SLOT
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "zentrova/device/DeviceTool.h"

using DoPfg = int (*)(const char*, int, const char*, const char*);
using DoPfu = int (*)(int, int, int, const char*, unsigned int, int, int, int, int);

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: configurator PROFILES.json PROFILE SLOT\n");
        return 2;
    }
    void* lib = dlopen("libzentrova.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto doPfg = reinterpret_cast<DoPfg>(dlsym(lib, "doPfg"));
    auto doPfu = reinterpret_cast<DoPfu>(dlsym(lib, "doPfu"));
    if (!doPfg || !doPfu) {
        std::fprintf(stderr, "entry points missing\n");
        return 1;
    }
    const int compiled = doPfg(argv[1], 1, argv[2], "profile.zvmp");
    const int uploaded =
        doPfu(1, ZENTROVA_PFU_OP_UPLOAD_PROFILE, std::atoi(argv[3]), "profile.zvmp", 0, 0, 0, 0, 0);
    std::printf("doPfg: %d, doPfu upload: %#x\n", compiled, uploaded);
    dlclose(lib);
    return compiled == 0 && uploaded == ZENTROVA_PFU_PROFILE_UPLOADED ? 0 : 1;
}
