// The profile image loader over arbitrary file content, with the device tool's
// 8192-byte buffer and with a buffer just large enough for the head record.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zentrova/device/PfuLog.h"
#include "zentrova/device/ProfileLoader.h"
#include "zentrova/integrity/crc.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char tmpl[] = "/tmp/zentrova-fuzz-profile-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0)
        std::abort();
    close(fd);
    g_path = tmpl;
    std::atexit([] { unlink(g_path.c_str()); });
    // Keep the loader's log lines, but out of the way.
    pfu_log = std::fopen("/dev/null", "w");
    return 0;
}

static void loadFile(const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    for (unsigned long bufferSize : {8192ul, static_cast<unsigned long>(sizeof(LoadedProfile)) + 64}) {
        std::vector<uint64_t> buffer(bufferSize / sizeof(uint64_t));
        if (!check_profile(buffer.data(), bufferSize, nullptr, g_path.c_str()))
            continue;
        // A valid layout points only into the buffer's body area.
        const auto* head = reinterpret_cast<const LoadedProfile*>(buffer.data());
        const auto* begin = reinterpret_cast<const uint8_t*>(buffer.data()) + sizeof(LoadedProfile);
        const auto* end = reinterpret_cast<const uint8_t*>(buffer.data()) + bufferSize;
        for (const ProgramRef& ref : head->programs) {
            if (!ref.data) {
                if (ref.size != 0)
                    std::abort();
                continue;
            }
            if (ref.data < begin || ref.data + ref.size > end)
                std::abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    loadFile(data, size);
    // Random bytes rarely carry a matching CRC-32: load the same content a
    // second time with the CRC at offset 0 made right, so the record walk is
    // reached as well.
    if (size >= 4) {
        std::vector<uint8_t> fixed(data, data + size);
        const uint32_t crc = qv_crc32_compute(fixed.data() + 4, fixed.size() - 4, 0);
        for (int i = 0; i < 4; ++i)
            fixed[i] = static_cast<uint8_t>(crc >> (8 * i));
        loadFile(fixed.data(), fixed.size());
    }
    return 0;
}
