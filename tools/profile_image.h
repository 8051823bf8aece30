// Reading and checking profile image files in the zentrova tool: the 60-byte
// header and the program records behind it, all little-endian.
#ifndef ZENTROVA_TOOL_PROFILE_IMAGE_H
#define ZENTROVA_TOOL_PROFILE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kImageHeaderSize = 60;
constexpr unsigned kHighestProgramIndex = 80;
/// Body bytes (everything after the header) that the device tool's loader
/// checks before an upload; a larger image is refused there.
constexpr size_t kLoaderBodyLimit = 8192;
/// Files larger than this are not read at all (no valid image comes close).
constexpr int64_t kMaxImageFileSize = 16 * 1024 * 1024;

struct ProgramRecord {
    size_t offset;        ///< of the record header in the file
    uint8_t index;        ///< program slot on the mouse
    uint8_t reserved;
    uint16_t size;        ///< bytecode length
    const uint8_t* code;  ///< into ProfileImage::bytes
};

struct ProfileImage {
    std::vector<uint8_t> bytes;
    uint32_t storedCrc = 0;
    uint32_t computedCrc = 0;
    uint8_t version = 0;
    std::string name;          ///< up to the first NUL of the 31-byte field
    bool nameTerminated = false;
    uint16_t deadZone = 0;
    uint16_t dpi[6] = {};
    uint16_t freeformDpi = 0;
    uint16_t programCount = 0;
    uint16_t reservedHeader = 0;
    std::vector<ProgramRecord> records;
};

/// Checks magic, version, CRC and the record walk (every record complete,
/// index at most 80, exactly `program_count` records filling the file). Returns
/// an empty string for a valid image, otherwise what is wrong. `image.bytes`
/// must hold the file; nothing outside it is read.
std::string parseProfileImage(ProfileImage& image);


#endif
