// doPfg and the compiler API over arbitrary JSON text, for a few hands and
// profile names. Whatever the text, an image left at the output path or
// returned must be a complete one: magic, version 0, CRC over the rest,
// records exactly filling the file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zentrova/profile/Compiler.h"
#include "zentrova/profile/ProfileImage.h"
#include "zentrova/profile/pfg.h"

namespace {

// Traps unless `image` is a complete profile image.
void checkBytes(const std::vector<uint8_t>& image)
{
    try {
        zentrova::ProfileImage::parse(image);
    } catch (const zentrova::ProfileImageError&) {
        __builtin_trap();
    }
}

void checkImage(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;  // refused: no image is fine
    checkBytes(std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

// pfg.log goes to the current directory: every input runs in this private
// folder, made on the first input and removed at exit.
char g_dir[] = "/tmp/zentrova-fuzz-doPfg-XXXXXX";

void removeDir()
{
    for (const char* name : {"/in.json", "/out.zvmp", "/pfg.log"})
        std::remove((std::string(g_dir) + name).c_str());
    rmdir(g_dir);
}

} // namespace

// Present when linked with libFuzzer, absent in the corpus replay.
extern "C" int LLVMFuzzerRunDriver(int*, char***, int (*)(const uint8_t*, size_t)) __attribute__((weak));

// Crash inputs go where the fuzzer was started, not into the private folder.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args(*argv, *argv + *argc);
    static std::string prefix = "-artifact_prefix=" + std::filesystem::current_path().string() + "/";
    const bool given = std::any_of(args.begin(), args.end(), [](const char* a) {
        return std::strncmp(a, "-artifact_prefix=", 17) == 0 || std::strncmp(a, "-exact_artifact_path=", 21) == 0;
    });
    if (LLVMFuzzerRunDriver != nullptr && !given) {
        args.push_back(prefix.data());
        *argc = static_cast<int>(args.size());
        args.push_back(nullptr);
        *argv = args.data();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int home = open(".", O_RDONLY | O_DIRECTORY);
    static const bool ready = mkdtemp(g_dir) != nullptr && std::atexit(removeDir) == 0;
    if (!ready || home < 0 || chdir(g_dir) != 0)
        std::abort();
    std::ofstream("in.json", std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    static const struct {
        int rightHand;
        const char* profile;
    } runs[] = {{1, "Work"}, {0, "Default"}, {1, "Raid"}, {0, "P"}};
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& run : runs) {
        doPfg("in.json", run.rightHand, run.profile, "out.zvmp");
        checkImage("out.zvmp");
        std::remove("out.zvmp");
        const zentrova::CompileResult r =
            zentrova::compileProfile(text, run.rightHand ? zentrova::Hand::Right : zentrova::Hand::Left, run.profile);
        if (r.image.has_value() != !r.bytes.empty())
            __builtin_trap();
        if (r.image)
            checkBytes(r.bytes);
    }
    std::remove("pfg.log");  // appended on every call: keep it from growing
    if (fchdir(home) != 0)
        std::abort();
    return 0;
}
