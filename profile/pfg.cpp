// Profile generator entry: the image header, its in-place patching and CRC.
#include "zentrova/profile/pfg.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "profile/pfg_log.h"
#include "profile/pfg_state.h"
#include "profile/process_profile.h"
#include "zentrova/integrity/crc.h"
#include "util/byte_order.h"
#include "util/file_handle.h"

pfg_state_t pfg_state;

namespace {

using zentrova::putLe16;
using zentrova::putLe32;

// Image header layout (little-endian).
constexpr size_t kHeaderSize = 60;
constexpr long kOffsetCrc = 0;
constexpr long kOffsetMagic = 4;
constexpr long kOffsetName = 9;
constexpr long kOffsetDeadzone = 40;
constexpr long kOffsetDpiTable = 42;
constexpr long kOffsetFreeformDpi = 54;
constexpr long kOffsetProgramCount = 56;
constexpr size_t kCrcSize = 4;
constexpr size_t kMaxProfileName = 30;
constexpr char kMagic[4] = {'Z', 'V', 'M', 'P'};

constexpr const char* kLogFile = "pfg.log";

void writeAt(FILE* out, long offset, const uint8_t* bytes, size_t length)
{
    if (std::fseek(out, offset, SEEK_SET) == 0)
        std::fwrite(bytes, 1, length, out);
}

void patchUint16(FILE* out, long offset, uint16_t value)
{
    uint8_t bytes[2];
    putLe16(bytes, value);
    writeAt(out, offset, bytes, sizeof bytes);
}

// Ends a generation that produced no usable image: whatever was written to
// the output path is removed, so that no half-made image can be uploaded.
void abandonImage(const char* outputFile)
{
    if (pfg_state.pfg_out != nullptr) {
        std::fclose(pfg_state.pfg_out);
        pfg_state.pfg_out = nullptr;
    }
    if (outputFile != nullptr) {
        std::remove(outputFile);
        pfg_log_line("%-16s no profile image written to '%s'\n", PFG_TAG_ERROR, outputFile);
    }
}

// Header fields the JSON reader left in the state, each patched in place.
void patchHeader(FILE* out)
{
    patchUint16(out, kOffsetProgramCount, pfg_state.program_count);
    pfg_log_line("Writing program count %ld\n", static_cast<long>(pfg_state.program_count));
    patchUint16(out, kOffsetDeadzone, pfg_state.ctrl_deadzone);
    pfg_log_line("Writing ctrl_deadzone %ld\n", static_cast<long>(pfg_state.ctrl_deadzone));
    uint8_t dpi[12];
    for (size_t i = 0; i < 6; ++i)
        putLe16(dpi + 2 * i, pfg_state.dpi_table[i]);
    writeAt(out, kOffsetDpiTable, dpi, sizeof dpi);
    const uint16_t* t = pfg_state.dpi_table;
    pfg_log_line("Writing dpi table %d %d %d %d %d %d\n", t[0], t[1], t[2], t[3], t[4], t[5]);
    patchUint16(out, kOffsetFreeformDpi, pfg_state.freeform_dpi);
    pfg_log_line("Writing freeform dpi %d\n", pfg_state.freeform_dpi);
}

// Reads the finished image back and stores the CRC-32 of bytes 4..end at
// offset 0. The file is only rewritten once the whole image is in memory.
void sealImage(const char* outputFile)
{
    zentrova::FileHandle in(std::fopen(outputFile, "rb"));
    if (!in) {
        pfg_log_line("%-16s cannot reopen '%s' to store its CRC\n", PFG_TAG_ERROR, outputFile);
        return;
    }
    long size = -1;
    if (std::fseek(in.get(), 0, SEEK_END) == 0)
        size = std::ftell(in.get());
    pfg_log_line("file size is %ld\n", size);
    if (size < static_cast<long>(kHeaderSize) || std::fseek(in.get(), 0, SEEK_SET) != 0) {
        pfg_log_line("%-16s cannot read back '%s'\n", PFG_TAG_ERROR, outputFile);
        return;
    }
    const size_t length = static_cast<size_t>(size);
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[length]);
    if (!image) {
        pfg_log_line("%-16s no memory to read back '%s' (%ld bytes); its CRC is not set\n", PFG_TAG_ERROR,
                     outputFile, size);
        return;
    }
    const size_t got = std::fread(image.get(), 1, length, in.get());
    pfg_log_line("read size is %d\n", static_cast<int>(got));
    in.reset();
    if (got != length) {
        pfg_log_line("%-16s cannot read back '%s'\n", PFG_TAG_ERROR, outputFile);
        return;
    }
    const uint32_t crc = qv_crc32_compute(image.get() + kCrcSize, length - kCrcSize, 0);
    pfg_log_line("crc is %0x\n", crc);
    putLe32(image.get() + kOffsetCrc, crc);

    FILE* out = std::fopen(outputFile, "wb");
    if (out == nullptr) {
        pfg_log_line("%-16s cannot rewrite '%s' to store its CRC\n", PFG_TAG_ERROR, outputFile);
        return;
    }
    const bool written = std::fwrite(image.get(), 1, length, out) == length;
    if (std::fclose(out) != 0 || !written) {
        pfg_log_line("%-16s writing '%s' failed\n", PFG_TAG_ERROR, outputFile);
        abandonImage(outputFile);
    }
}

void generate(const char* jsonFile, int rightHand, const char* profileName, const char* outputFile)
{
    const char* handName = rightHand != 0 ? "Right Mouse" : "Left Mouse";
    if (profileName == nullptr || std::strlen(profileName) > kMaxProfileName) {
        if (profileName == nullptr)
            pfg_log_line("%-16s no profile name given\n", PFG_TAG_ERROR);
        else
            pfg_log_line("%-16s profile name '%s' is longer than %zu characters\n", PFG_TAG_ERROR, profileName,
                         kMaxProfileName);
        abandonImage(outputFile);
        return;
    }
    if (outputFile == nullptr) {
        pfg_log_line("%-16s no output file given\n", PFG_TAG_ERROR);
        return;
    }
    pfg_state.pfg_out = std::fopen(outputFile, "wb");
    if (pfg_state.pfg_out == nullptr) {
        pfg_log_line("%-16s cannot create the profile image '%s'\n", PFG_TAG_ERROR, outputFile);
        return;
    }

    uint8_t header[kHeaderSize] = {};
    std::memcpy(header + kOffsetMagic, kMagic, sizeof kMagic);
    std::memcpy(header + kOffsetName, profileName, std::strlen(profileName) + 1);
    std::fwrite(header, 1, sizeof header, pfg_state.pfg_out);

    if (!processProfile(jsonFile, handName, profileName)) {
        abandonImage(outputFile);
        return;
    }
    if (pfg_state.program_count_overflow) {
        pfg_log_line("%-16s the profile needs more than 65535 programs\n", PFG_TAG_ERROR);
        abandonImage(outputFile);
        return;
    }

    patchHeader(pfg_state.pfg_out);
    const bool writeFailed = std::ferror(pfg_state.pfg_out) != 0;
    const bool closeFailed = std::fclose(pfg_state.pfg_out) != 0;
    pfg_state.pfg_out = nullptr;
    if (writeFailed || closeFailed) {
        pfg_log_line("%-16s writing '%s' failed\n", PFG_TAG_ERROR, outputFile);
        abandonImage(outputFile);
        return;
    }
    sealImage(outputFile);
}

} // namespace

void pfg_reset_generation()
{
    pfg_state.program_count = 0;
    pfg_state.program_count_overflow = false;
    pfg_state.program_header = {};
    pfg_state.next_macro_program = kFirstSharedProgram;
    pfg_state.ctrl_deadzone = 0;
    pfg_state.macros.clear();
    pfg_state.macros.shrink_to_fit();
}

void init(void)
{
    if (pfg_state.pfg_log != nullptr)
        std::fclose(pfg_state.pfg_log);
    pfg_state.pfg_log = std::fopen(kLogFile, "a");
    pfg_reset_generation();
}

void deinit(void)
{
    if (pfg_state.pfg_log != nullptr)
        std::fclose(pfg_state.pfg_log);
    pfg_state.pfg_log = nullptr;
}

int doPfg(const char* jsonFile, int rightHand, const char* profileName, const char* outputFile)
{
    init();
    try {
        generate(jsonFile, rightHand, profileName, outputFile);
    } catch (...) {
        pfg_log_line("%-16s profile generation failed unexpectedly\n", PFG_TAG_ERROR);
        abandonImage(outputFile);
    }
    deinit();
    return 0;
}
