// "zentrova compile PROFILE.json --hand left|right --profile NAME -o IMAGE":
// compile one profile of a configurator JSON file into a profile image.
//
// The compiler reports what went wrong as diagnostics, with their place in
// the JSON file. Only an image compiled without errors is written to the
// requested path (beside it first, then renamed into place), so a failed
// run never replaces an existing image there.
#include "compile.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "exit_codes.h"
#include "file_io.h"

namespace {

using zentrova::Cause;

constexpr int64_t kMaxProfileFileSize = 64 * 1024 * 1024;

std::string location(const std::string& json, const zentrova::Diagnostic& d)
{
    std::string at = json;
    if (d.line != 0)
        at += ":" + std::to_string(d.line) + ":" + std::to_string(d.column);
    return at;
}

// Whether the two names are one file: the same device and inode when both
// exist, else the same name.
bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return a == b;
}

void printLines(const std::string& text)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            std::printf("%s\n", text.substr(start, end - start).c_str());
        start = end + 1;
    }
}

struct Options {
    CompileRequest request;
    std::string output;
};

int runCompile(const Options& o)
{
    if (o.output != "-" && sameFile(o.request.json, o.output))
        throw UsageError("the image " + o.output + " is the profile file " + o.request.json + "; no image written");
    const zentrova::CompileResult result = compileForTool(o.request);
    storeFile(o.output, result.bytes);
    std::fprintf(o.output == "-" ? stderr : stdout,
                 "compiled profile '%s' (%s hand) of %s into %s: %zu programs, %zu bytes\n",
                 o.request.profile.c_str(), o.request.hand.c_str(), o.request.json.c_str(),
                 o.output == "-" ? "standard output" : o.output.c_str(), result.image->programs.size(),
                 result.bytes.size());
    return 0;
}

void defineCompile(CLI::App& zentrova)
{
    CLI::App* compile =
        addCommand(zentrova, "compile", "compile a profile of a configurator JSON file into a profile image");
    auto o = std::make_shared<Options>();
    compile->add_option("PROFILE.json", o->request.json, "configurator profile file")
        ->type_name("PROFILE.json")
        ->required();
    addHandOption(compile, o->request.hand, "mouse model whose entry of the file is compiled")->required();
    compile->add_option("-p,--profile", o->request.profile, "profile to compile, at most 30 characters")
        ->type_name("NAME")
        ->required();
    compile->add_option("-o,--output", o->output, "profile image to write ('-': standard output)")
        ->type_name("IMAGE")
        ->required();
    compile->add_flag("-v,--verbose", o->request.verbose, "also show the generator's log and progress lines");
    addExamples(compile, {"zentrova compile shooter.json --hand right --profile Sniper -o sniper.zvmp",
                          "zentrova compile shooter.json --hand=left -p Work -o - | zentrova inspect /dev/stdin"});
    onRun(compile, [o] { return runCompile(*o); });
}

ToolCommandRegistration registration(20, defineCompile);

} // namespace

zentrova::CompileResult compileForTool(const CompileRequest& r)
{
    const zentrova::Hand hand = handOf(r.hand);
    std::string text;
    try {
        const std::vector<uint8_t> bytes = readWholeFile(r.json, kMaxProfileFileSize);
        text.assign(bytes.begin(), bytes.end());
    } catch (const ToolFailure& e) {
        std::string why = e.what();
        if (why.compare(0, r.json.size() + 2, r.json + ": ") == 0)
            why.erase(0, r.json.size() + 2);
        fail(e.cause, "cannot open the profile file %s: %s", r.json.c_str(), why.c_str());
    }
    zentrova::CompileResult result = zentrova::compileProfile(text, hand, r.profile, r.json);
    if (r.verbose) {
        printLines(result.progress);
        std::printf("--- pfg.log ---\n%s---\n", result.log.c_str());
    }

    const size_t errors = result.errorCount();
    for (const zentrova::Diagnostic& d : result.diagnostics) {
        if (d.severity == zentrova::Diagnostic::Severity::Error)
            std::fprintf(stderr, "%s: [ERROR] %s\n", location(r.json, d).c_str(), d.message.c_str());
    }
    if (errors)
        fail(Cause::InvalidFile, "%zu error%s while compiling profile '%s'; no image written", errors,
             errors == 1 ? "" : "s", r.profile.c_str());
    if (result.handEntries == 0)
        fail(Cause::InvalidFile, "%s has no \"%s\" entry; no image written", r.json.c_str(),
             hand == zentrova::Hand::Right ? "Right Mouse" : "Left Mouse");
    if (result.profilesCompiled == 0)
        fail(Cause::InvalidFile, "%s has no profile '%s' for the %s hand; no image written", r.json.c_str(),
             r.profile.c_str(), r.hand.c_str());
    if (!result.image)
        fail(Cause::Unexpected, "no image came out of the compiler");
    if (!result.image->fitsLoader())
        std::fprintf(stderr, "zentrova: warning: the mouse's profile loader will refuse this image: %s\n",
                     result.image->loaderProblem().c_str());
    return result;
}
