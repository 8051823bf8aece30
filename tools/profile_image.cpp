#include "profile_image.h"

#include <cstring>

#include "zentrova/integrity/crc.h"

namespace {

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

std::string at(size_t i, size_t offset)
{
    return "record " + std::to_string(i) + " at offset " + std::to_string(offset);
}

} // namespace

std::string parseProfileImage(ProfileImage& image)
{
    const std::vector<uint8_t>& b = image.bytes;
    image.records.clear();
    if (b.size() < kImageHeaderSize)
        return "file of " + std::to_string(b.size()) + " bytes is shorter than the 60-byte header";
    if (std::memcmp(&b[4], "ZVMP", 4) != 0)
        return "bad magic: not a profile image (bytes 4..7 are not \"ZVMP\")";
    image.version = b[8];
    if (image.version != 0)
        return "unsupported version " + std::to_string(image.version) + " (only 0 is known)";

    image.storedCrc = le32(&b[0]);
    image.computedCrc = qv_crc32_compute(&b[4], b.size() - 4, 0);
    if (image.storedCrc != image.computedCrc) {
        char text[96];
        std::snprintf(text, sizeof text, "CRC mismatch: stored 0x%08x, computed 0x%08x", image.storedCrc,
                      image.computedCrc);
        return text;
    }

    const char* nameField = reinterpret_cast<const char*>(&b[9]);
    const void* nul = std::memchr(nameField, '\0', 31);
    image.nameTerminated = nul != nullptr;
    image.name.assign(nameField, nul ? static_cast<const char*>(nul) - nameField : 31);
    image.deadZone = le16(&b[40]);
    for (int i = 0; i < 6; ++i)
        image.dpi[i] = le16(&b[42 + 2 * i]);
    image.freeformDpi = le16(&b[54]);
    image.programCount = le16(&b[56]);
    image.reservedHeader = le16(&b[58]);

    size_t offset = kImageHeaderSize;
    for (size_t i = 0; i < image.programCount; ++i) {
        const size_t left = b.size() - offset;
        if (left == 0)
            return "the header announces " + std::to_string(image.programCount) + " programs, the file holds " +
                   std::to_string(i);
        if (left < 4)
            return at(i, offset) + ": record header cut short (" + std::to_string(left) + " bytes left)";
        ProgramRecord r;
        r.offset = offset;
        r.index = b[offset];
        r.reserved = b[offset + 1];
        r.size = le16(&b[offset + 2]);
        if (r.index > kHighestProgramIndex)
            return at(i, offset) + ": program index " + std::to_string(r.index) + " is above 80";
        if (r.size > left - 4)
            return at(i, offset) + ": program of " + std::to_string(r.size) + " bytes is cut short (" +
                   std::to_string(left - 4) + " bytes left)";
        r.code = b.data() + offset + 4;
        image.records.push_back(r);
        offset += 4 + r.size;
    }
    if (offset != b.size())
        return std::to_string(b.size() - offset) + " bytes of trailing data after the last of the " +
               std::to_string(image.programCount) + " programs";
    return std::string();
}
