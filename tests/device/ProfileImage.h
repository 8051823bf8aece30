// Builds profile image files byte by byte for the device tests, with the CRC
// computed by zlib (an oracle independent of the library's own CRC).
#ifndef ZENTROVA_TESTS_DEVICE_PROFILEIMAGE_H
#define ZENTROVA_TESTS_DEVICE_PROFILEIMAGE_H

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace testimg {

using Bytes = std::vector<uint8_t>;

inline void putLe16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void putLe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t zcrc(const uint8_t* data, size_t size)
{
    return static_cast<uint32_t>(crc32(0L, data, static_cast<uInt>(size)));
}

struct Program {
    uint8_t index;
    Bytes code;
};

// A profile image: header, records, optional trailing bytes; the CRC at 0
// covers bytes 4 to the end unless `badCrc`.
struct ProfileImage {
    std::string name = "Test";
    uint16_t deadzone = 0;
    uint16_t dpi[6] = {400, 800, 1600, 0, 0, 0};
    uint16_t freeform = 0;
    int programCount = -1; // -1: the number of records
    uint8_t version = 0;
    const char* magic = "ZVMP";
    std::vector<Program> programs;
    Bytes trailing;
    bool badCrc = false;

    Bytes bytes() const
    {
        Bytes b(60, 0);
        std::memcpy(b.data() + 4, magic, 4);
        b[8] = version;
        std::memcpy(b.data() + 9, name.c_str(), std::min<size_t>(name.size(), 30));
        putLe16(b, 40, deadzone);
        for (int i = 0; i < 6; ++i)
            putLe16(b, 42 + 2 * i, dpi[i]);
        putLe16(b, 54, freeform);
        putLe16(b, 56, static_cast<uint16_t>(programCount < 0 ? programs.size() : programCount));
        for (const Program& p : programs) {
            const size_t at = b.size();
            b.resize(at + 4);
            b[at] = p.index;
            putLe16(b, at + 2, static_cast<uint16_t>(p.code.size()));
            b.insert(b.end(), p.code.begin(), p.code.end());
        }
        b.insert(b.end(), trailing.begin(), trailing.end());
        putLe32(b, 0, zcrc(b.data() + 4, b.size() - 4) ^ (badCrc ? 1u : 0u));
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace testimg

#endif
