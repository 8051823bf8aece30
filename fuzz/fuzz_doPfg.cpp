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

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char tmpl[] = "/tmp/zentrova-fuzz-doPfg-XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0)
        std::abort();
    g_dir = tmpl;
    // Only what the runs create is removed: the folder itself stays when the
    // fuzzer left anything else there (job logs, crash inputs).
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
