// The profile image: the binary form of one compiled profile, as the mouse
// stores and executes it. This type is the one place that knows its layout.
//
// Layout (all fields little-endian):
//
//   offset  size  field
//        0     4  CRC-32 (zlib's) of every byte from offset 4 to the end
//        4     4  magic, kMagic
//        8     1  version, 0
//        9    31  profile name, NUL-terminated when shorter than 31 bytes
//       40     2  dead zone
//       42    12  six DPI levels (0 = level off)
//       54     2  freeform DPI
//       56     2  program count
//       58     2  reserved (0)
//       60        program records, `program count` of them, back to back:
//                 index (0..80), reserved byte, 16-bit bytecode size, bytecode
//
// A later record of the same index replaces an earlier one on the mouse.
//
// Parsing never reads outside the given bytes. ProfileImage::parse throws a
// ProfileImageError that says what is wrong and at which offset;
// ProfileImage::tryParse returns the same error as a value together with
// everything that was read before it.
#ifndef ZENTROVA_PROFILE_PROFILEIMAGE_H
#define ZENTROVA_PROFILE_PROFILEIMAGE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "zentrova/export.h"

namespace zentrova {

/// One program record of an image.
struct ProgramRecord {
    uint8_t index = 0;          ///< program slot on the mouse, 0..80
    uint8_t reserved = 0;       ///< written as 0
    std::vector<uint8_t> code;  ///< bytecode, at most 65535 bytes
};

/// Why bytes are not a profile image, and where.
class ZENTROVA_API ProfileImageError : public std::runtime_error {
public:
    /// In the order the checks are made.
    enum class Kind {
        ShortHeader,      ///< fewer than 60 bytes
        BadMagic,         ///< bytes 4..7 are not kMagic
        BadVersion,       ///< byte 8 is not 0
        CrcMismatch,      ///< the stored CRC is not the CRC of bytes 4..end
        RecordHeaderCut,  ///< fewer than 4 bytes left for a record header
        IndexTooHigh,     ///< a record's index is above kMaxProgramIndex
        ProgramCut,       ///< a record's bytecode runs past the end
        MissingRecords,   ///< the bytes end before `program count` records
        TrailingData,     ///< bytes follow the last record
    };

    ProfileImageError(Kind kind, size_t offset, size_t record, const std::string& message);
    /// For IndexTooHigh and ProgramCut: the record header's index and size.
    ProfileImageError(Kind kind, size_t offset, size_t record, uint8_t index, uint16_t size,
                      const std::string& message);

    Kind kind() const noexcept { return kind_; }
    /// Offset of the field or record concerned (of the end for MissingRecords).
    size_t offset() const noexcept { return offset_; }
    /// Number (0-based) of the record concerned; kNoRecord for header problems.
    size_t record() const noexcept { return record_; }
    /// Index and bytecode size in the header of the record concerned (0 when none).
    uint8_t programIndex() const noexcept { return index_; }
    uint16_t programSize() const noexcept { return size_; }

    static constexpr size_t kNoRecord = static_cast<size_t>(-1);

private:
    Kind kind_;
    size_t offset_;
    size_t record_;
    uint8_t index_ = 0;
    uint16_t size_ = 0;
};

struct ProfileImageParse;

class ZENTROVA_API ProfileImage {
public:
    static constexpr size_t kHeaderSize = 60;
    static constexpr char kMagic[4] = {'Z', 'V', 'M', 'P'};
    static constexpr uint8_t kVersion = 0;
    static constexpr size_t kNameFieldSize = 31;
    /// Longest profile name the compiler takes (the field keeps its NUL).
    static constexpr size_t kMaxNameLength = 30;
    static constexpr size_t kDpiLevels = 6;
    static constexpr unsigned kMaxProgramIndex = 80;
    static constexpr size_t kRecordHeaderSize = 4;
    static constexpr size_t kMaxPrograms = 65535;

    /// The buffer the device tool hands the mouse's profile loader
    /// (check_profile) before an upload. The loader checks the CRC over at
    /// most this many bytes after the header, so a larger body never passes.
    static constexpr size_t kLoaderBufferSize = 8192;
    /// Bytecode the loader has room for in that buffer: all programs' code
    /// together (record headers are not stored), once its table of 81
    /// program references has taken the start of the buffer.
    static constexpr size_t kLoaderProgramRoom = 6888;

    std::string name;                   ///< bytes up to the first NUL of the field
    bool nameTerminated = true;         ///< false: the 31-byte field holds no NUL
    uint16_t deadZone = 0;
    std::array<uint16_t, kDpiLevels> dpi{};
    uint16_t freeformDpi = 0;
    uint16_t reservedHeader = 0;        ///< bytes 58..59
    std::vector<ProgramRecord> programs;

    /// Set by parsing: the CRC field as stored, and the bytes after the last
    /// record (only ever non-zero with Trailing::Allow).
    uint32_t storedCrc = 0;
    size_t trailingBytes = 0;

    enum class Trailing { Refuse, Allow };

    /// The image in `bytes`; throws ProfileImageError when they are not one.
    static ProfileImage parse(const uint8_t* bytes, size_t size, Trailing trailing = Trailing::Refuse);
    static ProfileImage parse(const std::vector<uint8_t>& bytes, Trailing trailing = Trailing::Refuse);
    /// As parse, without throwing: on error the image holds the header fields
    /// (once magic and version passed) and the records read before the error.
    static ProfileImageParse tryParse(const uint8_t* bytes, size_t size, Trailing trailing = Trailing::Refuse);

    /// The image bytes, CRC included. Throws std::length_error for a name of
    /// more than 31 bytes, more than 65535 programs or a program of more
    /// than 65535 bytes.
    std::vector<uint8_t> serialize() const;

    /// The CRC field of serialised image bytes (at least kHeaderSize of them).
    static uint32_t crcField(const uint8_t* bytes);

    /// Size of serialize()'s result.
    size_t serializedSize() const;
    /// Bytecode of all programs together.
    size_t programBytes() const;

    /// Whether the mouse's profile loader takes the image with the device
    /// tool's buffer: body within kLoaderBufferSize and bytecode within
    /// kLoaderProgramRoom. (Index and completeness hold for any parsed image.)
    bool fitsLoader() const;
    /// Why the image does not fit the loader, or "" when it does.
    std::string loaderProblem() const;
};

struct ProfileImageParse {
    ProfileImage image;
    std::optional<ProfileImageError> error;
    size_t announcedPrograms = 0;  ///< the header's program count, once the CRC passed
};

} // namespace zentrova

#endif
