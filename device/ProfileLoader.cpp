#include "zentrova/device/ProfileLoader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "device/PfuLog.h"
#include "zentrova/integrity/crc.h"
#include "util/byte_order.h"
#include "util/file_handle.h"

using zentrova::pfuLog;

namespace {

using FilePtr = zentrova::FileHandle;
using zentrova::getLe16;
using zentrova::getLe32;

// Steps after the file is open; false means "step F" follows.
bool load(std::FILE* file, uint8_t* buffer, unsigned long bufferSize)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const int64_t fileSize = ftello(file);
    if (fileSize < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    pfuLog("\r\nOpened. Size = %ld\r\n", static_cast<long>(fileSize));

    uint8_t header[ZENTROVA_PROFILE_HEADER_SIZE];
    if (std::fread(header, 1, sizeof header, file) != sizeof header)
        return false;
    if (std::memcmp(header + 4, "ZVMP", 4) != 0) {
        pfuLog("\r\nmagic error\r\n");
        return false;
    }
    if (header[8] != 0) {
        pfuLog("\r\nversion error\r\n");
        return false;
    }

    int64_t remaining = fileSize - ZENTROVA_PROFILE_HEADER_SIZE;
    uint32_t crc = qv_crc32_compute(header + 4, ZENTROVA_PROFILE_HEADER_SIZE - 4, 0);
    const uint64_t n = remaining < 0 ? 0
                       : static_cast<uint64_t>(remaining) < bufferSize ? static_cast<uint64_t>(remaining)
                                                                      : bufferSize;
    if (std::fread(buffer, 1, n, file) != n) {
        pfuLog("\r\nread file error #1\r\n");
        return false;
    }
    crc = qv_crc32_compute(buffer, n, crc);
    if (crc != getLe32(header)) {
        pfuLog("\r\ncrc error\r\n");
        return false;
    }

    // From here the body bytes read above are overwritten by the layout.
    auto* head = reinterpret_cast<LoadedProfile*>(buffer);
    head->ctrl_deadzone = getLe16(header + 40);
    head->program_count = getLe16(header + 56);
    pfuLog("\r\nprogram deadzone: %d\r\n", head->ctrl_deadzone);
    pfuLog("\r\nprogram count: %d\r\n", head->program_count);
    for (ProgramRef& ref : head->programs) {
        ref.data = nullptr;
        ref.size = 0;
    }

    if (std::fseek(file, ZENTROVA_PROFILE_HEADER_SIZE, SEEK_SET) != 0)
        return false;
    uint8_t* write = buffer + sizeof(LoadedProfile);
    uint64_t avail = bufferSize - sizeof(LoadedProfile);
    for (int i = 0; i < head->program_count; ++i) {
        uint8_t record[4];
        if (std::fread(record, 1, sizeof record, file) != sizeof record) {
            pfuLog("\r\nread the program header error\r\n");
            return false;
        }
        const unsigned index = record[0];
        const unsigned size = getLe16(record + 2);
        pfuLog("\r\nProgram %u - %u bytes\r\n", index, size);
        if (index > ZENTROVA_PROFILE_MAX_PROGRAM_INDEX) {
            pfuLog("\r\nProfile loader: index overflow\r\n");
            return false;
        }
        pfuLog("checkpoint #3 - %d - 1\r\n", i);
        head->programs[index].data = write;
        head->programs[index].size = static_cast<uint16_t>(size);
        pfuLog("checkpoint #3 - %d - 2\r\n", i);
        if (avail < size)
            return false;
        pfuLog("checkpoint #3 - %d - 3\r\n", i);
        if (std::fread(write, 1, size, file) != size)
            return false;
        pfuLog("checkpoint #3 - %d - 4\r\n", i);
        write += size;
        avail -= size;
        remaining -= static_cast<int64_t>(size) + 4;
        pfuLog("checkpoint #3 - %d - 5\r\n", i);
    }
    if (remaining != 0)
        pfuLog("\r\nWARNING: profile file has extra data");
    return true;
}

} // namespace

bool check_profile(void* buffer, unsigned long bufferSize, const char* /*profileName*/, const char* path)
{
    // The head record is written through a LoadedProfile*, so the buffer must
    // be large enough and suitably aligned for it.
    if (!buffer || bufferSize < sizeof(LoadedProfile) ||
        reinterpret_cast<uintptr_t>(buffer) % alignof(LoadedProfile) != 0)
        return false;

    FilePtr file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) {
        pfuLog("\r\nFile not found\r\n");
        return false;
    }
    if (!load(file.get(), static_cast<uint8_t*>(buffer), bufferSize)) {
        file.reset();
        pfuLog("\r\nCannot read profile file\r\n");
        return false;
    }
    pfuLog("checkpoint #4\r\n");
    file.reset();
    pfuLog("checkpoint #5\r\n");
    return true;
}
