// "zentrova about": the version the command and the library were built as,
// and the library's own version data.
#include <cstdio>

#include "command.h"
#include "json_output.h"
#include "zentrova/version.h"

namespace {

struct Options {
    bool json = false;
};

int runAbout(const Options& o)
{
    const unsigned bcd = g_version_bcd;
    if (o.json) {
        JsonOutput j;
        j.writer.StartObject();
        j.field("tool", ZENTROVA_VERSION_STRING);
        j.field("library", ZENTROVA_VERSION_STRING);
        j.field("versionTag", g_version_tag);
        j.field("versionNumber", bcd);
        j.writer.EndObject();
        j.print();
        return 0;
    }
    std::printf("%s\n", toolVersionLine().c_str());
    std::printf("libzentrova %d.%d.%d\n", ZENTROVA_VERSION_MAJOR, ZENTROVA_VERSION_MINOR, ZENTROVA_VERSION_PATCH);
    std::printf("%s %u.%u.%u (0x%04X)\n", g_version_tag, bcd / 1000u, (bcd / 100u) % 10u, bcd % 100u, bcd);
    return 0;
}

void defineAbout(CLI::App& zentrova)
{
    CLI::App* about = addCommand(zentrova, "about", "print the command's and the library's name and version");
    auto o = std::make_shared<Options>();
    about->add_flag("--json", o->json, "print one JSON object");
    addExamples(about, {"zentrova about --json"});
    onRun(about, [o] { return runAbout(*o); });
}

ToolCommandRegistration registration(90, defineAbout);

} // namespace
