// "zentrova compile PROFILE.json --hand left|right --profile NAME -o IMAGE":
// compile one profile of a configurator JSON file into a profile image.
//
// The compiler reports what went wrong as diagnostics, with their place in
// the JSON file, printed as "zentrova lint" prints them. Only an image
// compiled without errors (and with --strict, without warnings) is written
// to the requested path (beside it first, then renamed into place), so a
// failed run never replaces an existing image there.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "diagnostic_report.h"
#include "file_io.h"
#include "lint.h"
#include "zentrova/profile/Compiler.h"
#include "zentrova/util/RuntimeError.h"

namespace {

constexpr int64_t kMaxProfileFileSize = 64 * 1024 * 1024;

// Ends the command as failed for its input file.
int invalidFile(const std::string& message)
{
    std::fprintf(stderr, "zentrova compile: %s\n", message.c_str());
    return kExitInvalidFile;
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

// Writes the image beside its destination first, then renames it into place.
void storeImage(const std::string& output, const std::vector<uint8_t>& bytes)
{
    std::string temp = output + ".partial-XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0)
        runtime_error("cannot write %s: %s", output.c_str(), std::strerror(errno));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            close(fd);
            unlink(temp.c_str());
            runtime_error("cannot write %s: %s", output.c_str(), std::strerror(error));
        }
        done += static_cast<size_t>(n);
    }
    // mkstemp creates 0600; an image is an ordinary file of the user's.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (close(fd) != 0 || rename(temp.c_str(), output.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        runtime_error("cannot write %s: %s", output.c_str(), std::strerror(error));
    }
}

int runCompile(int argc, char** argv)
{
    CommandLineParser cl("zentrova compile", argc, argv);
    cl.addUsageDescription("PROFILE.json", "configurator profile file");
    cl.addUsageDescription(kHandUsage, "mouse model whose entry of the file is compiled");
    cl.addUsageDescription("-p, --profile NAME", "profile to compile (at most 30 characters)");
    cl.addUsageDescription("-o, --output IMAGE", "profile image to write");
    cl.addUsageDescription("--strict", "warnings fail the compilation too");
    cl.addUsageDescription("-v, --verbose", "also show the generator's log and progress lines, and information");
    cl.addUsageDescription("-h, --help", "print this text");
    handleHelp(cl);
    const int rightHand = requireHand(cl);
    const std::string profile = requireString(cl, "-p", "--profile");
    const std::string output = requireString(cl, "-o", "--output");
    const bool verbose = hasFlag(cl, "-v", "--verbose");
    const bool strict = hasFlag(cl, "", "--strict");
    const std::string json = requirePositional(cl, "PROFILE.json");
    cl.finish();

    const char* handName = rightHand ? "Right Mouse" : "Left Mouse";
    const char* handWord = rightHand ? "right" : "left";
    if (sameFile(json, output))
        runtime_error("the image %s is the profile file %s; no image written", output.c_str(), json.c_str());
    std::string text;
    try {
        const std::vector<uint8_t> bytes = readWholeFile(json, kMaxProfileFileSize);
        text.assign(bytes.begin(), bytes.end());
    } catch (const std::runtime_error& e) {
        std::string why = e.what();
        if (why.compare(0, json.size() + 2, json + ": ") == 0)
            why.erase(0, json.size() + 2);
        return invalidFile("cannot open the profile file " + json + ": " + why);
    }
    const zentrova::CompileResult result =
        zentrova::compileProfile(text, rightHand ? zentrova::Hand::Right : zentrova::Hand::Left, profile, json);
    if (verbose) {
        size_t start = 0;
        while (start < result.progress.size()) {
            size_t end = result.progress.find('\n', start);
            if (end == std::string::npos)
                end = result.progress.size();
            if (end > start)
                std::printf("%s\n", result.progress.substr(start, end - start).c_str());
            start = end + 1;
        }
        std::printf("--- pfg.log ---\n%s---\n", result.log.c_str());
    }

    std::vector<zentrova::Diagnostic> shown;
    for (const zentrova::Diagnostic& d : result.diagnostics)
        if (verbose || d.severity != zentrova::Diagnostic::Severity::Info)
            shown.push_back(d);
    std::fflush(stdout);
    reportDiagnostics(text, json, shown, std::cerr, isatty(STDERR_FILENO) && std::getenv("NO_COLOR") == nullptr);
    std::cerr.flush();

    const DiagnosticCounts counts = countDiagnostics(result.diagnostics);
    const std::string noImage = "; no image written";
    if (counts.errors)
        return invalidFile(describeCounts(counts) + " while compiling profile '" + profile + "'" + noImage);
    if (result.handEntries == 0)
        return invalidFile(json + " has no \"" + handName + "\" entry" + noImage);
    if (result.profilesCompiled == 0)
        return invalidFile(json + " has no profile '" + profile + "' for the " + handWord + " hand" + noImage);
    if (strict && counts.warnings)
        return invalidFile(describeCounts(counts) + " while compiling profile '" + profile + "' with --strict" +
                           noImage);
    if (!result.image)
        runtime_error("no image came out of the compiler");

    storeImage(output, result.bytes);
    std::printf("compiled profile '%s' (%s hand) of %s into %s: %zu programs, %zu bytes\n", profile.c_str(), handWord,
                json.c_str(), output.c_str(), result.image->programs.size(), result.bytes.size());
    return 0;
}

ToolCommandRegistration compile({"compile", "compile a profile of a configurator JSON file into a profile image",
                                 runCompile});

} // namespace
