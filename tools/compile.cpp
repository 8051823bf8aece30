// "zentrova compile PROFILE.json --hand left|right --profile NAME -o IMAGE":
// compile one profile of a configurator JSON file into a profile image.
//
// doPfg reports nothing through its result, so this command runs it in a
// private working directory and judges the run by what it left there: the
// lines of "pfg.log", the progress lines on standard output (which tell
// whether the hand entry and the profile were found), and the image itself,
// which must pass the same checks as "zentrova inspect". Only an image that
// passes them all is written to the requested path, so a failed run never
// replaces an existing image there.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "file_io.h"
#include "profile_image.h"
#include "zentrova/profile/pfg.h"
#include "zentrova/util/RuntimeError.h"

namespace {

std::string absolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE)
            runtime_error("cannot determine the current directory: %s", std::strerror(errno));
        cwd.resize(cwd.size() * 2);
    }
    return std::string(cwd.data()) + "/" + path;
}

// A fresh directory that the generator runs in; removed with its files.
class WorkDirectory {
public:
    WorkDirectory()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zentrova-compile-XXXXXX";
        if (!mkdtemp(&pattern[0]))
            runtime_error("cannot create a working directory: %s", std::strerror(errno));
        path = pattern;
    }
    ~WorkDirectory()
    {
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, ".."))
                    unlink((path + "/" + entry->d_name).c_str());
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    }
    WorkDirectory(const WorkDirectory&) = delete;
    WorkDirectory& operator=(const WorkDirectory&) = delete;

    std::string file(const char* name) const { return path + "/" + name; }
    const std::string& get() const { return path; }

private:
    std::string path;
};

// Changes into a directory and back; standard output goes to a file meanwhile.
class RedirectedRun {
public:
    RedirectedRun(const std::string& directory, const std::string& stdoutFile)
    {
        home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (home < 0)
            runtime_error("cannot open the current directory: %s", std::strerror(errno));
        std::fflush(stdout);
        std::cout.flush();
        savedStdout = dup(STDOUT_FILENO);
        const int capture = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (savedStdout < 0 || capture < 0 || dup2(capture, STDOUT_FILENO) < 0 || chdir(directory.c_str()) != 0) {
            const int error = errno;
            if (capture >= 0)
                close(capture);
            restore();
            runtime_error("cannot set up the generator run: %s", std::strerror(error));
        }
        close(capture);
    }
    ~RedirectedRun() { restore(); }
    RedirectedRun(const RedirectedRun&) = delete;
    RedirectedRun& operator=(const RedirectedRun&) = delete;

private:
    void restore()
    {
        std::fflush(stdout);
        std::cout.flush();
        if (savedStdout >= 0) {
            dup2(savedStdout, STDOUT_FILENO);
            close(savedStdout);
            savedStdout = -1;
        }
        if (home >= 0) {
            if (fchdir(home) != 0)
                std::perror("zentrova compile: cannot return to the working directory");
            close(home);
            home = -1;
        }
    }
    int home = -1;
    int savedStdout = -1;
};

std::string readText(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool hasLine(const std::vector<std::string>& all, const std::string& wanted)
{
    for (const auto& line : all) {
        if (line == wanted)
            return true;
    }
    return false;
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
    cl.addUsageDescription("-v, --verbose", "also show the generator's log and progress lines");
    cl.addUsageDescription("-h, --help", "print this text");
    handleHelp(cl);
    const int rightHand = requireHand(cl);
    const std::string profile = requireString(cl, "-p", "--profile");
    const std::string output = requireString(cl, "-o", "--output");
    const bool verbose = hasFlag(cl, "-v", "--verbose");
    const std::string json = requirePositional(cl, "PROFILE.json");
    cl.finish();

    const char* handName = rightHand ? "Right Mouse" : "Left Mouse";
    const char* handWord = rightHand ? "right" : "left";
    WorkDirectory work;
    const std::string stdoutFile = work.file("stdout.txt");
    {
        const std::string jsonPath = absolutePath(json);
        RedirectedRun run(work.get(), stdoutFile);
        doPfg(jsonPath.c_str(), rightHand, profile.c_str(), "image.zvmp");
    }

    const std::string log = readText(work.file("pfg.log"));
    const std::vector<std::string> progress = lines(readText(stdoutFile));
    if (verbose) {
        for (const auto& line : progress) {
            if (!line.empty())
                std::printf("%s\n", line.c_str());
        }
        std::printf("--- pfg.log ---\n%s---\n", log.c_str());
    }

    size_t errors = 0;
    bool unreadable = false;
    for (const auto& line : lines(log)) {
        if (line.rfind("[ERROR]", 0) == 0) {
            std::fprintf(stderr, "pfg.log: %s\n", line.c_str());
            ++errors;
        } else if (line.rfind("Failed to open the JSON file.", 0) == 0) {
            unreadable = true;
        }
    }
    if (unreadable)
        runtime_error("cannot open the profile file %s", json.c_str());
    if (errors)
        runtime_error("%zu error%s while compiling profile '%s'; no image written", errors, errors == 1 ? "" : "s",
                      profile.c_str());
    if (!hasLine(progress, std::string("Name: ") + handName))
        runtime_error("%s has no \"%s\" entry; no image written", json.c_str(), handName);
    if (!hasLine(progress, "profile_name: " + profile))
        runtime_error("%s has no profile '%s' for the %s hand; no image written", json.c_str(), profile.c_str(),
                      handWord);

    ProfileImage image;
    struct stat st;
    if (stat(work.file("image.zvmp").c_str(), &st) != 0)
        runtime_error("no image came out of the generator");
    image.bytes = readWholeFile(work.file("image.zvmp"), kMaxImageFileSize);
    const std::string problem = parseProfileImage(image);
    if (!problem.empty())
        runtime_error("the generator's image is invalid: %s; no image written", problem.c_str());

    storeImage(output, image.bytes);
    std::printf("compiled profile '%s' (%s hand) of %s into %s: %u programs, %zu bytes\n", profile.c_str(), handWord,
                json.c_str(), output.c_str(), image.programCount, image.bytes.size());
    return 0;
}

ToolCommandRegistration compile({"compile", "compile a profile of a configurator JSON file into a profile image",
                                 runCompile});

} // namespace
