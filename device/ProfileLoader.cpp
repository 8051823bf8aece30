// The profile loader: the file is read once and parsed by ProfileImage; the
// trace in pfu_log follows the steps of the mouse's own loader.
#include "zentrova/device/ProfileLoader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "device/PfuLog.h"
#include "device/ProfileCheck.h"
#include "util/file_handle.h"
#include "zentrova/profile/ProfileImage.h"

using zentrova::pfuLog;
using zentrova::ProfileImage;
using Kind = zentrova::ProfileImageError::Kind;

static_assert(ZENTROVA_PROFILE_HEADER_SIZE == ProfileImage::kHeaderSize, "header size");
static_assert(ZENTROVA_PROFILE_MAX_PROGRAM_INDEX == ProfileImage::kMaxProgramIndex, "program index");
static_assert(sizeof(void*) != 8 ||
                  ProfileImage::kLoaderBufferSize - sizeof(LoadedProfile) == ProfileImage::kLoaderProgramRoom,
              "the loader's room in the device tool's buffer");

namespace {

// The line of a problem found in the header, before the record walk.
void logHeaderProblem(Kind kind)
{
    if (kind == Kind::BadMagic)
        pfuLog("\r\nmagic error\r\n");
    else if (kind == Kind::BadVersion)
        pfuLog("\r\nversion error\r\n");
    else if (kind == Kind::CrcMismatch)
        pfuLog("\r\ncrc error\r\n");
}

bool isHeaderProblem(Kind kind)
{
    return kind == Kind::ShortHeader || kind == Kind::BadMagic || kind == Kind::BadVersion || kind == Kind::CrcMismatch;
}

// Lays the records out in the buffer, bytecode back to back behind the head
// record, each checked against the room left. Then the record the parse
// stopped at, if any, fails at its own step. False when the image is refused.
bool layOut(const zentrova::ProfileImageParse& parsed, uint8_t* buffer, unsigned long bufferSize)
{
    const ProfileImage& image = parsed.image;
    auto* head = reinterpret_cast<LoadedProfile*>(buffer);
    head->ctrl_deadzone = image.deadZone;
    head->program_count = static_cast<uint16_t>(parsed.announcedPrograms);
    pfuLog("\r\nprogram deadzone: %d\r\n", head->ctrl_deadzone);
    pfuLog("\r\nprogram count: %d\r\n", head->program_count);
    for (ProgramRef& ref : head->programs) {
        ref.data = nullptr;
        ref.size = 0;
    }

    uint8_t* write = buffer + sizeof(LoadedProfile);
    unsigned long avail = bufferSize - sizeof(LoadedProfile);
    // Steps 1 and 2 of a record whose index is in range: false when its
    // bytecode does not fit the room left.
    const auto place = [&](size_t i, unsigned index, size_t size) {
        pfuLog("checkpoint #3 - %d - 1\r\n", static_cast<int>(i));
        head->programs[index].data = write;
        head->programs[index].size = static_cast<uint16_t>(size);
        pfuLog("checkpoint #3 - %d - 2\r\n", static_cast<int>(i));
        return avail >= size;
    };
    for (size_t i = 0; i < image.programs.size(); ++i) {
        const zentrova::ProgramRecord& p = image.programs[i];
        pfuLog("\r\nProgram %u - %u bytes\r\n", static_cast<unsigned>(p.index), static_cast<unsigned>(p.code.size()));
        if (!place(i, p.index, p.code.size()))
            return false;
        pfuLog("checkpoint #3 - %d - 3\r\n", static_cast<int>(i));
        if (!p.code.empty())
            std::memcpy(write, p.code.data(), p.code.size());
        pfuLog("checkpoint #3 - %d - 4\r\n", static_cast<int>(i));
        write += p.code.size();
        avail -= p.code.size();
        pfuLog("checkpoint #3 - %d - 5\r\n", static_cast<int>(i));
    }
    if (!parsed.error) {
        if (image.trailingBytes != 0)
            pfuLog("\r\nWARNING: profile file has extra data");
        return true;
    }

    const zentrova::ProfileImageError& e = *parsed.error;
    switch (e.kind()) {
    case Kind::MissingRecords:
    case Kind::RecordHeaderCut:
        pfuLog("\r\nread the program header error\r\n");
        break;
    case Kind::IndexTooHigh:
        pfuLog("\r\nProgram %u - %u bytes\r\n", static_cast<unsigned>(e.programIndex()),
               static_cast<unsigned>(e.programSize()));
        pfuLog("\r\nProfile loader: index overflow\r\n");
        break;
    case Kind::ProgramCut:
        // The room is checked before the bytes are read.
        pfuLog("\r\nProgram %u - %u bytes\r\n", static_cast<unsigned>(e.programIndex()),
               static_cast<unsigned>(e.programSize()));
        if (place(e.record(), e.programIndex(), e.programSize()))
            pfuLog("checkpoint #3 - %d - 3\r\n", static_cast<int>(e.record()));
        break;
    default:
        break;
    }
    return false;
}

// Everything from the file's size to the record walk, on the first `got` of
// the `wanted` bytes read from a file of `fileSize` bytes; false means the
// file cannot be read.
bool examine(uint64_t fileSize, const uint8_t* bytes, size_t got, size_t wanted, uint8_t* buffer,
             unsigned long bufferSize)
{
    pfuLog("\r\nOpened. Size = %ld\r\n", static_cast<long>(fileSize));
    const uint64_t header = ProfileImage::kHeaderSize;
    if (got < header)
        return false;
    const zentrova::ProfileImageParse parsed = ProfileImage::tryParse(bytes, got, ProfileImage::Trailing::Allow);
    const Kind kind = parsed.error ? parsed.error->kind() : Kind::TrailingData;
    if (kind == Kind::BadMagic || kind == Kind::BadVersion) {
        logHeaderProblem(kind);
        return false;
    }
    if (got != wanted) {
        pfuLog("\r\nread file error #1\r\n");
        return false;
    }
    if (fileSize > header + bufferSize) {
        pfuLog("\r\ncrc error\r\n");
        return false;
    }
    if (parsed.error && isHeaderProblem(kind)) {
        logHeaderProblem(kind);
        return false;
    }
    return layOut(parsed, buffer, bufferSize);
}

// The CRC covers at most bufferSize body bytes: of a larger body only the
// header is read.
size_t bytesToRead(uint64_t fileSize, unsigned long bufferSize)
{
    const uint64_t header = ProfileImage::kHeaderSize;
    return static_cast<size_t>(fileSize > header + bufferSize ? header : fileSize);
}

bool load(std::FILE* file, uint8_t* buffer, unsigned long bufferSize)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const int64_t fileSize = ftello(file);
    if (fileSize < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    const size_t wanted = bytesToRead(static_cast<uint64_t>(fileSize), bufferSize);
    std::vector<uint8_t> bytes(wanted);
    const size_t got = std::fread(bytes.data(), 1, wanted, file);
    return examine(static_cast<uint64_t>(fileSize), bytes.data(), got, wanted, buffer, bufferSize);
}

bool bufferUsable(const void* buffer, unsigned long bufferSize)
{
    // The head record is written through a LoadedProfile*, so the buffer must
    // be large enough and suitably aligned for it.
    return buffer && bufferSize >= sizeof(LoadedProfile) &&
           reinterpret_cast<uintptr_t>(buffer) % alignof(LoadedProfile) == 0;
}

} // namespace

bool check_profile(void* buffer, unsigned long bufferSize, const char* /*profileName*/, const char* path)
{
    if (!bufferUsable(buffer, bufferSize))
        return false;

    zentrova::FileHandle file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) {
        pfuLog("\r\nFile not found\r\n");
        return false;
    }
    bool loaded = false;
    try {
        loaded = load(file.get(), static_cast<uint8_t*>(buffer), bufferSize);
    } catch (const std::bad_alloc&) {
        loaded = false; // no memory for the file's copy: it cannot be read
    }
    if (!loaded) {
        file.reset();
        pfuLog("\r\nCannot read profile file\r\n");
        return false;
    }
    pfuLog("checkpoint #4\r\n");
    file.reset();
    pfuLog("checkpoint #5\r\n");
    return true;
}

namespace zentrova {

bool checkProfileBytes(void* buffer, unsigned long bufferSize, const uint8_t* bytes, size_t size, uint64_t fileSize)
{
    if (!bufferUsable(buffer, bufferSize))
        return false;
    const size_t wanted = bytesToRead(fileSize, bufferSize);
    if (!examine(fileSize, bytes, std::min(size, wanted), wanted, static_cast<uint8_t*>(buffer), bufferSize)) {
        pfuLog("\r\nCannot read profile file\r\n");
        return false;
    }
    pfuLog("checkpoint #4\r\n");
    pfuLog("checkpoint #5\r\n");
    return true;
}

} // namespace zentrova
