// "zentrova compile PROFILE.json --hand left|right --profile NAME -o IMAGE":
// compile one profile of a configurator JSON file into a profile image.
//
// The compiler reports what went wrong as diagnostics, with their place in
// the JSON file, printed as "zentrova lint" prints them. Only an image
// compiled without errors (and with --strict, without warnings) is written
// to the requested path (beside it first, then renamed into place), so a
// failed run never replaces an existing image there.
#include "compile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "diagnostic_report.h"
#include "exit_codes.h"
#include "file_io.h"
#include "lint.h"

namespace {

using zentrova::Cause;

constexpr int64_t kMaxProfileFileSize = 64 * 1024 * 1024;

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
    compile->add_flag("--strict", o->request.strict, "warnings fail the compilation too");
    compile->add_flag("-v,--verbose", o->request.verbose,
                      "also show the generator's log and progress lines, and information");
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

    std::vector<zentrova::Diagnostic> shown;
    for (const zentrova::Diagnostic& d : result.diagnostics)
        if (r.verbose || d.severity != zentrova::Diagnostic::Severity::Info)
            shown.push_back(d);
    std::fflush(stdout);
    reportDiagnostics(text, r.json, shown, std::cerr, isatty(STDERR_FILENO) && std::getenv("NO_COLOR") == nullptr);
    std::cerr.flush();

    const DiagnosticCounts counts = countDiagnostics(result.diagnostics);
    const char* profile = r.profile.c_str();
    if (counts.errors)
        fail(Cause::InvalidFile, "%s while compiling profile '%s'; no image written", describeCounts(counts).c_str(),
             profile);
    if (result.handEntries == 0)
        fail(Cause::InvalidFile, "%s has no \"%s\" entry; no image written", r.json.c_str(),
             hand == zentrova::Hand::Right ? "Right Mouse" : "Left Mouse");
    if (result.profilesCompiled == 0)
        fail(Cause::InvalidFile, "%s has no profile '%s' for the %s hand; no image written", r.json.c_str(), profile,
             r.hand.c_str());
    if (r.strict && counts.warnings)
        fail(Cause::InvalidFile, "%s while compiling profile '%s' with --strict; no image written",
             describeCounts(counts).c_str(), profile);
    if (!result.image)
        fail(Cause::Unexpected, "no image came out of the compiler");
    return result;
}
