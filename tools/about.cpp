// "zentrova about" and "zentrova --version": the version the command and the
// library were built as, and the library's own version data.
#include <cstdio>

#include "command.h"
#include "zentrova/version.h"

void printToolVersion(FILE* out)
{
    std::fprintf(out, "zentrova %s\n", ZENTROVA_VERSION_STRING);
}

static int runAbout(int, char**)
{
    printToolVersion(stdout);
    std::printf("libzentrova %d.%d.%d\n", ZENTROVA_VERSION_MAJOR, ZENTROVA_VERSION_MINOR, ZENTROVA_VERSION_PATCH);
    std::printf("%s %u.%u.%u (0x%04X)\n", g_version_tag, g_version_bcd / 1000u, (g_version_bcd / 100u) % 10u,
                g_version_bcd % 100u, g_version_bcd);
    return 0;
}

static ToolCommandRegistration about({"about", "print the command's and the library's name and version", runAbout});
