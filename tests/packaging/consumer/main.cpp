// A program linked against an installed libzentrova.
#include <cstdio>
#include <cstring>

#include "zentrova/version.h"

int main()
{
    if (std::strcmp(g_version_tag, "Zentrova Tool") != 0 || g_version_bcd != 0x03E8) {
        std::fprintf(stderr, "unexpected version data\n");
        return 1;
    }
    std::printf("%s %s %#x\n", ZENTROVA_VERSION_STRING, g_version_tag, g_version_bcd);
    return 0;
}
