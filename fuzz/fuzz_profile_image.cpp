// The profile image parser over any bytes, and again with the CRC field made
// right so that the header checks pass and the record walk is reached. An
// image it accepts serialises back to exactly the bytes it came from (less
// any trailing bytes it was allowed to step over; bytes of the name field
// after the name's NUL come back as zeros) and parses again to the same
// image; an error names an offset inside the bytes; parse and tryParse
// always agree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zentrova/integrity/crc.h"
#include "zentrova/profile/ProfileImage.h"

using zentrova::ProfileImage;

namespace {

void check(const std::vector<uint8_t>& bytes, ProfileImage::Trailing trailing)
{
    const zentrova::ProfileImageParse r = ProfileImage::tryParse(bytes.data(), bytes.size(), trailing);
    bool threw = false;
    try {
        ProfileImage::parse(bytes, trailing);
    } catch (const zentrova::ProfileImageError& e) {
        threw = true;
        if (!r.error || e.kind() != r.error->kind())
            std::abort();
    }
    if (threw != r.error.has_value())
        std::abort();
    if (r.error) {
        if (r.error->offset() > bytes.size())
            std::abort();
        return;
    }
    const ProfileImage& image = r.image;
    const std::vector<uint8_t> again = image.serialize();
    const size_t body = bytes.size() - image.trailingBytes;
    if (again.size() != body || image.serializedSize() != body || image.programs.size() != r.announcedPrograms)
        std::abort();
    // Bytes 4.. are the same, except that the name field holds zeros after
    // the name's NUL; the CRC too unless it covered other bytes.
    std::vector<uint8_t> expected(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(body));
    const auto name = expected.begin() + 9, nameEnd = name + ProfileImage::kNameFieldSize;
    std::fill(std::find(name, nameEnd, 0), nameEnd, 0);
    const bool sameBytes = image.trailingBytes == 0 && std::equal(expected.begin(), expected.end(), bytes.begin());
    if (std::memcmp(again.data() + 4, expected.data() + 4, body - 4) != 0 ||
        (sameBytes && std::memcmp(again.data(), bytes.data(), 4) != 0))
        std::abort();
    const ProfileImage reparsed = ProfileImage::parse(again);
    if (reparsed.serialize() != again || reparsed.name != image.name || reparsed.programs.size() != image.programs.size())
        std::abort();
    for (const zentrova::ProgramRecord& p : image.programs)
        if (p.index > ProfileImage::kMaxProgramIndex)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    for (int pass = 0; pass < 2; ++pass) {
        check(bytes, ProfileImage::Trailing::Refuse);
        check(bytes, ProfileImage::Trailing::Allow);
        if (bytes.size() < ProfileImage::kHeaderSize)
            break;
        // A right magic, version and CRC, so that the records are walked.
        std::memcpy(bytes.data() + 4, ProfileImage::kMagic, 4);
        bytes[8] = ProfileImage::kVersion;
        const uint32_t crc = qv_crc32_compute(bytes.data() + 4, bytes.size() - 4, 0);
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return 0;
}
