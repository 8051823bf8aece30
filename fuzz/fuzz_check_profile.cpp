// The profile image loader over arbitrary file content, with the device tool's
// 8192-byte buffer and with one just large enough for the head record; then the
// same content with a correct CRC-32 at offset 0, so that the record walk is
// reached too. A valid layout points only into the buffer's body area.
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
    const int fd = mkstemp(tmpl);
    if (fd < 0)
        std::abort();
    close(fd);
    g_path = tmpl;
    std::atexit([] { unlink(g_path.c_str()); });
    pfu_log = std::fopen("/dev/null", "w"); // the loader's log lines, out of the way
    return 0;
}

static void loadFile(const std::vector<uint8_t>& content)
{
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return;
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    for (const size_t bufferSize : {size_t{8192}, sizeof(LoadedProfile) + 64}) {
        std::vector<uint64_t> buffer(bufferSize / sizeof(uint64_t));
        const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
        if (!check_profile(buffer.data(), bufferSize, nullptr, g_path.c_str()))
            continue;
        for (const ProgramRef& ref : reinterpret_cast<const LoadedProfile*>(bytes)->programs)
            if (ref.data ? ref.data < bytes + sizeof(LoadedProfile) || ref.data + ref.size > bytes + bufferSize
                         : ref.size != 0)
                std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> content(data, data + size);
    loadFile(content);
    if (size >= 4) {
        const uint32_t crc = qv_crc32_compute(content.data() + 4, size - 4, 0);
        for (int i = 0; i < 4; ++i)
            content[i] = static_cast<uint8_t>(crc >> (8 * i));
        loadFile(content);
    }
    return 0;
}
