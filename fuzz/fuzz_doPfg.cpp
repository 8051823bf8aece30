// doPfg over arbitrary JSON text, for a few hands and profile names. Whatever
// the text, an image left at the output path must be a complete one: magic,
// version 0, CRC over the rest, records exactly filling the file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zentrova/integrity/crc.h"
#include "zentrova/profile/pfg.h"

namespace {

std::string g_dir;

std::vector<uint8_t> readAll(const char* path)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        uint8_t chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

unsigned le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8u); }

void checkImage(const char* path)
{
    struct stat st{};
    if (stat(path, &st) != 0)
        return;  // refused: no image is fine
    const std::vector<uint8_t> image = readAll(path);
    if (image.size() < 60 || image[4] != 'Z' || image[5] != 'V' || image[6] != 'M' || image[7] != 'P' || image[8] != 0)
        __builtin_trap();
    const uint32_t stored = le16(image, 0) | (le16(image, 2) << 16u);
    if (qv_crc32_compute(image.data() + 4, image.size() - 4, 0) != stored)
        __builtin_trap();
    size_t at = 60;
    for (unsigned i = le16(image, 56); i > 0; --i) {
        if (at + 4 > image.size() || image[at] > 80)
            __builtin_trap();
        at += 4 + le16(image, at + 2);
    }
    if (at != image.size())
        __builtin_trap();
}

} // namespace

// Present when linked with libFuzzer.
extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t*, size_t))
    __attribute__((weak));

namespace {

// The runs work in a private folder (pfg.log goes to the current directory),
// so paths on the command line are made absolute before changing into it:
// corpus folders and files, and the path-valued flags. Crash inputs go to
// the directory the fuzzer was started in unless a prefix is given.
std::vector<std::string> g_args;
std::vector<char*> g_argv;

bool isRelativePath(const std::string& path) { return !path.empty() && path[0] != '/'; }

void makeArgumentsAbsolute(int* argc, char*** argv, const std::string& cwd)
{
    static const char* const kPathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                             "-merge_control_file="};
    bool hasArtifactPath = false;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (i > 0 && arg[0] != '-' && isRelativePath(arg))
            arg = cwd + "/" + arg;
        for (const char* flag : kPathFlags) {
            const std::string f = flag;
            if (arg.compare(0, f.size(), f) != 0)
                continue;
            hasArtifactPath |= f == "-artifact_prefix=" || f == "-exact_artifact_path=";
            if (isRelativePath(arg.substr(f.size())))
                arg = f + cwd + "/" + arg.substr(f.size());
        }
        g_args.push_back(arg);
    }
    if (!hasArtifactPath && LLVMFuzzerRunDriver != nullptr)  // libFuzzer, not the corpus replay
        g_args.push_back("-artifact_prefix=" + cwd + "/");
    for (std::string& a : g_args)
        g_argv.push_back(a.data());
    g_argv.push_back(nullptr);
    *argc = static_cast<int>(g_args.size());
    *argv = g_argv.data();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        std::abort();
    makeArgumentsAbsolute(argc, argv, cwd);
    // With -jobs or -workers this process only starts the fuzzing processes
    // and keeps their logs (fuzz-N.log) where it was started.
    for (const std::string& arg : g_args)
        if (arg.rfind("-jobs=", 0) == 0 || arg.rfind("-workers=", 0) == 0)
            return 0;
    char tmpl[] = "/tmp/zentrova-fuzz-doPfg-XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0)
        std::abort();
    g_dir = tmpl;
    // Only what the runs create is removed.
    std::atexit([] {
        for (const char* name : {"in.json", "out.zvmp", "pfg.log"})
            std::remove((g_dir + "/" + name).c_str());
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (FILE* f = std::fopen("in.json", "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    static const struct {
        int rightHand;
        const char* profile;
    } runs[] = {{1, "Work"}, {0, "Default"}, {1, "Raid"}, {0, "P"}};
    for (const auto& run : runs) {
        doPfg("in.json", run.rightHand, run.profile, "out.zvmp");
        checkImage("out.zvmp");
        std::remove("out.zvmp");
    }
    std::remove("pfg.log");  // appended on every call: keep it from growing
    return 0;
}
