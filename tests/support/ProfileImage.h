// Builds profile image files byte by byte for the device and tool tests, with
// the CRC computed by zlib (an oracle independent of the library's own CRC)
// and the layout written out here, independent of zentrova::ProfileImage.
#ifndef ZENTROVA_TESTS_SUPPORT_PROFILEIMAGE_H
#define ZENTROVA_TESTS_SUPPORT_PROFILEIMAGE_H

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zentrova/profile/ProfileImage.h"

namespace testimg {

using Bytes = std::vector<uint8_t>;

inline void putLe(Bytes& b, size_t at, uint32_t v, int size = 2)
{
    for (int i = 0; i < size; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Sets the CRC at 0 over bytes 4 to the end.
inline Bytes sealed(Bytes b)
{
    putLe(b, 0, static_cast<uint32_t>(crc32(0L, b.data() + 4, static_cast<uInt>(b.size() - 4))), 4);
    return b;
}

struct Program {
    uint8_t index;
    Bytes code;
};

struct ProfileImage {
    std::string name = "Test";
    uint16_t deadzone = 0;
    uint16_t dpi[6] = {400, 800, 1600, 0, 0, 0};
    uint16_t freeform = 0;
    int programCount = -1; // -1: the number of records
    uint8_t version = 0;
    std::string magic = std::string(zentrova::ProfileImage::kMagic, 4);
    std::vector<Program> programs;
    Bytes trailing;
    bool badCrc = false;

    Bytes bytes() const
    {
        Bytes b(60, 0);
        std::memcpy(b.data() + 4, magic.data(), 4);
        b[8] = version;
        std::memcpy(b.data() + 9, name.c_str(), std::min<size_t>(name.size(), 30));
        putLe(b, 40, deadzone);
        for (int i = 0; i < 6; ++i)
            putLe(b, 42 + 2 * i, dpi[i]);
        putLe(b, 54, freeform);
        putLe(b, 56, static_cast<uint32_t>(programCount < 0 ? programs.size() : programCount));
        for (const Program& p : programs) {
            b.insert(b.end(), {p.index, 0, 0, 0});
            putLe(b, b.size() - 2, static_cast<uint32_t>(p.code.size()));
            b.insert(b.end(), p.code.begin(), p.code.end());
        }
        b.insert(b.end(), trailing.begin(), trailing.end());
        b = sealed(b);
        b[0] ^= badCrc ? 1 : 0;
        return b;
    }
};

inline Bytes pattern(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

inline void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace testimg

#endif
