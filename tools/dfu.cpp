// "zentrova dfu pack" and "zentrova dfu verify": build an encrypted firmware
// image from binary files, and check one with the library's decoder.
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "file_io.h"
#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/integrity/dfu.h"
#include "zentrova/integrity/dfu_image_writer.h"
#include "zentrova/util/RuntimeError.h"

namespace {

// Images (and the files they are packed from) stay below 4 GiB.
constexpr int64_t kMaxDfuFileSize = 0xFFFFFFFF;

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        runtime_error("cannot write '%s'", path.c_str());
}

// Exactly `size` bytes written as hex digits; blanks and line breaks between
// the digits are ignored.
template <size_t size>
std::array<uint8_t, size> parseHex(const std::string& text, const char* what)
{
    std::string digits;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            runtime_error("%s: '%c' is not a hex digit", what, c);
        digits += c;
    }
    if (digits.size() != 2 * size)
        runtime_error("%s: %zu hex digits, expected %zu", what, digits.size(), 2 * size);
    std::array<uint8_t, size> out{};
    for (size_t i = 0; i < size; ++i)
        out[i] = static_cast<uint8_t>(std::stoul(digits.substr(2 * i, 2), nullptr, 16));
    return out;
}

std::array<uint8_t, 32> readKey(const std::string& path)
{
    const std::vector<uint8_t> text = readWholeFile(path, kMaxDfuFileSize);
    return parseHex<32>(std::string(text.begin(), text.end()), ("key file '" + path + "'").c_str());
}

// An unsigned 32-bit number, decimal or 0x-prefixed hex.
uint32_t parseU32(const std::string& text, const char* what)
{
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno == ERANGE || value > UINT32_MAX)
        runtime_error("%s: '%s' is not a 32-bit number", what, text.c_str());
    return static_cast<uint32_t>(value);
}

// A BCD version written as four digits ("0123" or "0x0123").
uint16_t parseBcd(const std::string& text, const char* what)
{
    std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        runtime_error("%s: '%s' is not four BCD digits such as 0123", what, text.c_str());
    return static_cast<uint16_t>(std::stoul(digits, nullptr, 16));
}

std::string optionalString(CommandLineParser& cl, const std::string& longName, const std::string& fallback)
{
    StringArgument value;
    return cl.getArgument("", longName, value) ? value.value : fallback;
}

std::array<uint8_t, 16> randomSalt()
{
    std::random_device device;
    std::array<uint8_t, 16> salt{};
    for (auto& b : salt)
        b = static_cast<uint8_t>(device());
    return salt;
}

int runPack(int argc, char** argv)
{
    CommandLineParser cl("zentrova dfu pack", argc, argv);
    cl.addUsageDescription("ADDRESS:FILE...", "segments: the bytes of FILE for target ADDRESS (0x... or decimal)");
    cl.addUsageDescription("--key FILE", "AES-256 key: 64 hex digits (required)");
    cl.addUsageDescription("-o, --output IMAGE", "image file to write (required)");
    cl.addUsageDescription("--version1 BCD", "firmware version, four BCD digits such as 0123 (required)");
    cl.addUsageDescription("--version2 BCD", "format version (default 0100)");
    cl.addUsageDescription("--tag TAG", "product tag of 8 characters (default ZENTROVA)");
    cl.addUsageDescription("--salt HEX", "first check-block bytes, 32 hex digits (default: random)");
    cl.addUsageDescription("--pad", "fill each segment up to a multiple of 16 bytes with 0xFF "
                                    "(without it, such a file is refused)");
    handleHelp(cl);
    const std::string keyPath = requireString(cl, "", "--key");
    const std::string output = requireString(cl, "-o", "--output");
    const uint16_t version1 = parseBcd(requireString(cl, "", "--version1"), "--version1");
    const uint16_t version2 = parseBcd(optionalString(cl, "--version2", "0100"), "--version2");
    const std::string tag = optionalString(cl, "--tag", "ZENTROVA");
    const std::string saltText = optionalString(cl, "--salt", "");
    const bool pad = hasFlag(cl, "", "--pad");

    std::vector<dfu_segment_t> segments;
    StringArgument segmentArg;
    while (cl.getFreeArgument(segmentArg)) {
        const size_t colon = segmentArg.value.find(':');
        if (colon == std::string::npos)
            runtime_error("segment '%s': expected ADDRESS:FILE", segmentArg.value.c_str());
        dfu_segment_t segment;
        segment.address = parseU32(segmentArg.value.substr(0, colon), "segment address");
        segment.data = readWholeFile(segmentArg.value.substr(colon + 1), kMaxDfuFileSize);
        if (pad)
            segment.data.resize((segment.data.size() + 15) / 16 * 16, 0xFF);
        segments.push_back(std::move(segment));
    }
    cl.finish();

    const std::array<uint8_t, 32> key = readKey(keyPath);
    const std::array<uint8_t, 16> salt = saltText.empty() ? randomSalt() : parseHex<16>(saltText, "--salt");
    const std::vector<uint8_t> image = dfu_encode_image(key, tag, version1, version2, segments, salt);
    writeFile(output, image);
    std::printf("%s: %zu bytes, %zu segment%s, version1 %04X, version2 %04X\n", output.c_str(), image.size(),
                segments.size(), segments.size() == 1 ? "" : "s", version1, version2);
    return 0;
}

bool printChunk(uint32_t address, uint8_t*, size_t size)
{
    std::printf("0x%08X %zu\n", address, size);
    return true;
}

int runVerify(int argc, char** argv)
{
    CommandLineParser cl("zentrova dfu verify", argc, argv);
    cl.addUsageDescription("IMAGE", "the image file to check");
    cl.addUsageDescription("--key FILE", "AES-256 key: 64 hex digits (required)");
    cl.addUsageDescription("--region START:SIZE", "allowed target addresses (default 0:0xFFFFFFFF)");
    cl.addUsageDescription("--tag TAG", "expected product tag (default ZENTROVA)");
    cl.addUsageDescription("--chunk BYTES", "decrypt at most this many bytes at once, a multiple of 16 (default 4096)");
    cl.addUsageDescription("--list", "print the target address and size of every decrypted chunk");
    handleHelp(cl);
    const std::string keyPath = requireString(cl, "", "--key");
    const std::string region = optionalString(cl, "--region", "0:0xFFFFFFFF");
    const std::string tag = optionalString(cl, "--tag", "ZENTROVA");
    const uint32_t chunk = parseU32(optionalString(cl, "--chunk", "4096"), "--chunk");
    const bool list = hasFlag(cl, "", "--list");
    const std::string imagePath = requirePositional(cl, "IMAGE");
    cl.finish();

    const size_t colon = region.find(':');
    if (colon == std::string::npos)
        runtime_error("--region: '%s' is not START:SIZE", region.c_str());
    const uint32_t regionStart = parseU32(region.substr(0, colon), "--region start");
    const uint32_t regionSize = parseU32(region.substr(colon + 1), "--region size");
    if (tag.size() != 8)
        runtime_error("--tag: '%s' is not 8 characters", tag.c_str());
    if (chunk == 0 || chunk % 16 != 0)
        runtime_error("--chunk: %u is not a nonzero multiple of 16", chunk);

    const std::array<uint8_t, 32> key = readKey(keyPath);
    const std::vector<uint8_t> image = readWholeFile(imagePath, kMaxDfuFileSize);
    if (image.size() > UINT32_MAX)
        runtime_error("'%s' is larger than any image can be", imagePath.c_str());
    // The header first, with the reason for a refusal. Like the firmware
    // update, which sends the whole file, no bytes may follow the payload.
    std::string why;
    const std::optional<zentrova::DfuHeader> header = zentrova::DfuHeader::parse(image.data(), image.size(), &why);
    if (header && header->imageSize() != image.size())
        why = std::to_string(image.size() - header->imageSize()) + " trailing byte(s) behind the payload";
    if (!why.empty()) {
        std::fprintf(stderr, "%s: invalid image: %s\n", imagePath.c_str(), why.c_str());
        return 1;
    }
    std::vector<uint8_t> work(std::max<uint32_t>(32, chunk));
    dfu_image_ctx_t ctx{image.data(), key.data(), tag.c_str(), static_cast<uint32_t>(image.size()),
                        regionStart, regionSize, work.data(), chunk};
    const bool valid = dfu_decode_image(&ctx, list ? printChunk : nullptr);
    std::fflush(stdout);
    if (!valid) {
        std::fprintf(stderr, "%s: invalid image\n", imagePath.c_str());
        return 1;
    }
    std::printf("%s: valid, version1 %s, version2 %s\n", imagePath.c_str(),
                zentrova::formatBcdVersion(header->version1).c_str(), zentrova::formatBcdVersion(header->version2).c_str());
    return 0;
}

int runDfu(int argc, char** argv)
{
    if (argc >= 2 && !std::strcmp(argv[1], "pack"))
        return runPack(argc - 1, argv + 1);
    if (argc >= 2 && !std::strcmp(argv[1], "verify"))
        return runVerify(argc - 1, argv + 1);
    const bool help = argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"));
    std::fprintf(help ? stdout : stderr,
                 "usage: zentrova dfu pack --key FILE -o IMAGE --version1 BCD [options] ADDRESS:FILE...\n"
                 "       zentrova dfu verify IMAGE --key FILE [--region START:SIZE] [--list] [options]\n"
                 "'zentrova dfu pack --help' and 'zentrova dfu verify --help' list the options.\n");
    return help ? 0 : 2;
}

ToolCommandRegistration registration({"dfu", "pack and verify encrypted firmware (DFU) images", runDfu});

} // namespace
