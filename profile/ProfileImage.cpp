// The profile image layout: parsing, serialising, the loader's limits.
#include "zentrova/profile/ProfileImage.h"

#include <cstdio>
#include <cstring>

#include "util/byte_order.h"
#include "zentrova/integrity/crc.h"

namespace zentrova {

namespace {

constexpr size_t kOffsetCrc = 0;
constexpr size_t kOffsetMagic = 4;
constexpr size_t kOffsetVersion = 8;
constexpr size_t kOffsetName = 9;
constexpr size_t kOffsetDeadZone = 40;
constexpr size_t kOffsetDpi = 42;
constexpr size_t kOffsetFreeformDpi = 54;
constexpr size_t kOffsetProgramCount = 56;
constexpr size_t kOffsetReserved = 58;
static_assert(kOffsetName + ProfileImage::kNameFieldSize == kOffsetDeadZone, "name field");
static_assert(kOffsetReserved + 2 == ProfileImage::kHeaderSize, "header size");

using Kind = ProfileImageError::Kind;

std::string recordAt(size_t i, size_t offset)
{
    return "record " + std::to_string(i) + " at offset " + std::to_string(offset) + ": ";
}

} // namespace

ProfileImageError::ProfileImageError(Kind kind, size_t offset, size_t record, const std::string& message)
    : std::runtime_error(message), kind_(kind), offset_(offset), record_(record)
{
}

ProfileImageError::ProfileImageError(Kind kind, size_t offset, size_t record, uint8_t index, uint16_t size,
                                     const std::string& message)
    : std::runtime_error(message), kind_(kind), offset_(offset), record_(record), index_(index), size_(size)
{
}

ProfileImageParse ProfileImage::tryParse(const uint8_t* b, size_t size, Trailing trailing)
{
    ProfileImageParse r;
    ProfileImage& image = r.image;
    const auto fail = [&r](Kind kind, size_t offset, size_t record, const std::string& message) {
        r.error.emplace(kind, offset, record, message);
        return r;
    };
    const size_t none = ProfileImageError::kNoRecord;
    if (b == nullptr)
        size = 0;
    if (size < kHeaderSize)
        return fail(Kind::ShortHeader, size, none,
                    "file of " + std::to_string(size) + " bytes is shorter than the 60-byte header");
    if (std::memcmp(b + kOffsetMagic, kMagic, sizeof kMagic) != 0)
        return fail(Kind::BadMagic, kOffsetMagic, none,
                    "bad magic: not a profile image (bytes 4..7 are not \"" + std::string(kMagic, sizeof kMagic) +
                        "\")");
    if (b[kOffsetVersion] != kVersion)
        return fail(Kind::BadVersion, kOffsetVersion, none,
                    "unsupported version " + std::to_string(b[kOffsetVersion]) + " (only 0 is known)");

    const char* nameField = reinterpret_cast<const char*>(b + kOffsetName);
    const void* nul = std::memchr(nameField, '\0', kNameFieldSize);
    image.nameTerminated = nul != nullptr;
    image.name.assign(nameField, nul ? static_cast<size_t>(static_cast<const char*>(nul) - nameField) : kNameFieldSize);
    image.deadZone = getLe16(b + kOffsetDeadZone);
    for (size_t i = 0; i < kDpiLevels; ++i)
        image.dpi[i] = getLe16(b + kOffsetDpi + 2 * i);
    image.freeformDpi = getLe16(b + kOffsetFreeformDpi);
    image.reservedHeader = getLe16(b + kOffsetReserved);
    image.storedCrc = getLe32(b + kOffsetCrc);

    const uint32_t computed = qv_crc32_compute(b + kOffsetMagic, size - kOffsetMagic, 0);
    if (image.storedCrc != computed) {
        char text[96];
        std::snprintf(text, sizeof text, "CRC mismatch: stored 0x%08x, computed 0x%08x", image.storedCrc, computed);
        return fail(Kind::CrcMismatch, kOffsetCrc, none, text);
    }

    const size_t count = getLe16(b + kOffsetProgramCount);
    r.announcedPrograms = count;
    image.programs.reserve(count);
    size_t offset = kHeaderSize;
    for (size_t i = 0; i < count; ++i) {
        const size_t left = size - offset;
        if (left == 0)
            return fail(Kind::MissingRecords, offset, i,
                        "the header announces " + std::to_string(count) + " programs, the file holds " +
                            std::to_string(i));
        if (left < kRecordHeaderSize)
            return fail(Kind::RecordHeaderCut, offset, i,
                        recordAt(i, offset) + "record header cut short (" + std::to_string(left) + " bytes left)");
        const uint8_t* record = b + offset;
        const uint16_t codeSize = getLe16(record + 2);
        if (record[0] > kMaxProgramIndex) {
            r.error.emplace(Kind::IndexTooHigh, offset, i, record[0], codeSize,
                            recordAt(i, offset) + "program index " + std::to_string(record[0]) + " is above 80");
            return r;
        }
        if (codeSize > left - kRecordHeaderSize) {
            r.error.emplace(Kind::ProgramCut, offset, i, record[0], codeSize,
                            recordAt(i, offset) + "program of " + std::to_string(codeSize) + " bytes is cut short (" +
                                std::to_string(left - kRecordHeaderSize) + " bytes left)");
            return r;
        }
        const uint8_t* code = record + kRecordHeaderSize;
        image.programs.push_back({record[0], record[1], std::vector<uint8_t>(code, code + codeSize)});
        offset += kRecordHeaderSize + codeSize;
    }
    image.trailingBytes = size - offset;
    if (image.trailingBytes != 0 && trailing == Trailing::Refuse)
        return fail(Kind::TrailingData, offset, none,
                    std::to_string(image.trailingBytes) + " bytes of trailing data after the last of the " +
                        std::to_string(count) + " programs");
    return r;
}

ProfileImage ProfileImage::parse(const uint8_t* bytes, size_t size, Trailing trailing)
{
    ProfileImageParse r = tryParse(bytes, size, trailing);
    if (r.error)
        throw *r.error;
    return std::move(r.image);
}

ProfileImage ProfileImage::parse(const std::vector<uint8_t>& bytes, Trailing trailing)
{
    return parse(bytes.data(), bytes.size(), trailing);
}

uint32_t ProfileImage::crcField(const uint8_t* bytes) { return getLe32(bytes + kOffsetCrc); }

size_t ProfileImage::programBytes() const
{
    size_t total = 0;
    for (const ProgramRecord& p : programs)
        total += p.code.size();
    return total;
}

size_t ProfileImage::serializedSize() const
{
    return kHeaderSize + kRecordHeaderSize * programs.size() + programBytes();
}

std::vector<uint8_t> ProfileImage::serialize() const
{
    if (name.size() > kNameFieldSize)
        throw std::length_error("profile name of " + std::to_string(name.size()) + " bytes is longer than 31");
    if (programs.size() > kMaxPrograms)
        throw std::length_error(std::to_string(programs.size()) + " programs are more than 65535");
    std::vector<uint8_t> out(serializedSize(), 0);
    uint8_t* b = out.data();
    std::memcpy(b + kOffsetMagic, kMagic, sizeof kMagic);
    b[kOffsetVersion] = kVersion;
    std::memcpy(b + kOffsetName, name.data(), name.size());
    putLe16(b + kOffsetDeadZone, deadZone);
    for (size_t i = 0; i < kDpiLevels; ++i)
        putLe16(b + kOffsetDpi + 2 * i, dpi[i]);
    putLe16(b + kOffsetFreeformDpi, freeformDpi);
    putLe16(b + kOffsetProgramCount, static_cast<uint16_t>(programs.size()));
    putLe16(b + kOffsetReserved, reservedHeader);
    size_t offset = kHeaderSize;
    for (const ProgramRecord& p : programs) {
        if (p.code.size() > 0xFFFF)
            throw std::length_error("program of " + std::to_string(p.code.size()) + " bytes is longer than 65535");
        b[offset] = p.index;
        b[offset + 1] = p.reserved;
        putLe16(b + offset + 2, static_cast<uint16_t>(p.code.size()));
        if (!p.code.empty())
            std::memcpy(b + offset + kRecordHeaderSize, p.code.data(), p.code.size());
        offset += kRecordHeaderSize + p.code.size();
    }
    putLe32(b + kOffsetCrc, qv_crc32_compute(b + kOffsetMagic, out.size() - kOffsetMagic, 0));
    return out;
}

bool ProfileImage::fitsLoader() const
{
    return serializedSize() - kHeaderSize <= kLoaderBufferSize && programBytes() <= kLoaderProgramRoom;
}

std::string ProfileImage::loaderProblem() const
{
    const size_t body = serializedSize() - kHeaderSize;
    if (body > kLoaderBufferSize)
        return std::to_string(body) + " body bytes exceed the " + std::to_string(kLoaderBufferSize) +
               " that the upload check accepts";
    const size_t code = programBytes();
    if (code > kLoaderProgramRoom)
        return std::to_string(code) + " bytes of program code exceed the " + std::to_string(kLoaderProgramRoom) +
               " that the mouse's profile loader has room for";
    return std::string();
}

} // namespace zentrova
