// "zentrova about": the library's own version data.
#include <cstdio>

#include "command.h"
#include "zentrova/version.h"

static int runAbout(int, char**)
{
    std::printf("%s %u.%u.%u (0x%04X)\n", g_version_tag, g_version_bcd / 1000u, (g_version_bcd / 100u) % 10u,
                g_version_bcd % 100u, g_version_bcd);
    return 0;
}

static ToolCommandRegistration about({"about", "print the library's name and version", runAbout});
