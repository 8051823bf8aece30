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
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "command.h"
#include "exit_codes.h"
#include "file_io.h"
#include "json_output.h"
#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/integrity/dfu.h"
#include "zentrova/integrity/dfu_image_writer.h"

namespace {

// Images (and the files they are packed from) stay below 4 GiB.
constexpr int64_t kMaxDfuFileSize = 0xFFFFFFFF;

// Exactly `size` bytes written as hex digits; blanks and line breaks between
// the digits are ignored.
template <size_t size>
std::array<uint8_t, size> parseHex(const std::string& text, const std::string& what, bool file)
{
    const auto refuse = [&](const std::string& why) {
        if (file)
            throw ToolFailure(zentrova::Cause::InvalidFile, what + ": " + why);
        throw UsageError(what + ": " + why);
    };
    std::string digits;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            refuse(std::string("'") + c + "' is not a hex digit");
        digits += c;
    }
    if (digits.size() != 2 * size)
        refuse(std::to_string(digits.size()) + " hex digits, expected " + std::to_string(2 * size));
    std::array<uint8_t, size> out{};
    for (size_t i = 0; i < size; ++i)
        out[i] = static_cast<uint8_t>(std::stoul(digits.substr(2 * i, 2), nullptr, 16));
    return out;
}

std::array<uint8_t, 32> readKey(const std::string& path)
{
    const std::vector<uint8_t> text = readWholeFile(path, kMaxDfuFileSize);
    return parseHex<32>(std::string(text.begin(), text.end()), "key file '" + path + "'", true);
}

// An unsigned 32-bit number, decimal or 0x-prefixed hex.
uint32_t parseU32(const std::string& text, const std::string& what)
{
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno == ERANGE || value > UINT32_MAX)
        throw UsageError(what + ": '" + text + "' is not a 32-bit number");
    return static_cast<uint32_t>(value);
}

// A BCD version written as four digits ("0123" or "0x0123").
uint16_t parseBcd(const std::string& text, const std::string& what)
{
    std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw UsageError(what + ": '" + text + "' is not four BCD digits such as 0123");
    return static_cast<uint16_t>(std::stoul(digits, nullptr, 16));
}

std::array<uint8_t, 16> randomSalt()
{
    std::random_device device;
    std::array<uint8_t, 16> salt{};
    for (auto& b : salt)
        b = static_cast<uint8_t>(device());
    return salt;
}

struct PackOptions {
    std::vector<std::string> segments;
    std::string key, output, version1, version2 = "0100", tag = "ZENTROVA", salt;
    bool pad = false;
};

int runPack(const PackOptions& o)
{
    const uint16_t version1 = parseBcd(o.version1, "--version1");
    const uint16_t version2 = parseBcd(o.version2, "--version2");
    const std::array<uint8_t, 16> salt = o.salt.empty() ? randomSalt() : parseHex<16>(o.salt, "--salt", false);
    std::vector<dfu_segment_t> segments;
    for (const std::string& text : o.segments) {
        const size_t colon = text.find(':');
        if (colon == std::string::npos)
            throw UsageError("segment '" + text + "': expected ADDRESS:FILE");
        dfu_segment_t segment;
        segment.address = parseU32(text.substr(0, colon), "segment address");
        segment.data = readWholeFile(text.substr(colon + 1), kMaxDfuFileSize);
        if (o.pad)
            segment.data.resize((segment.data.size() + 15) / 16 * 16, 0xFF);
        segments.push_back(std::move(segment));
    }
    const std::array<uint8_t, 32> key = readKey(o.key);
    std::vector<uint8_t> image;
    try {
        image = dfu_encode_image(key, o.tag, version1, version2, segments, salt);
    } catch (const std::exception& e) {
        throw ToolFailure(zentrova::Cause::InvalidFile, e.what());
    }
    storeFile(o.output, image);
    std::fprintf(o.output == "-" ? stderr : stdout, "%s: %zu bytes, %zu segment%s, version1 %04X, version2 %04X\n",
                 o.output == "-" ? "standard output" : o.output.c_str(), image.size(), segments.size(),
                 segments.size() == 1 ? "" : "s", version1, version2);
    return 0;
}

struct Chunk {
    uint32_t address;
    size_t size;
};

std::vector<Chunk>* g_chunks = nullptr; // where the decoder's chunks are collected

bool collectChunk(uint32_t address, uint8_t*, size_t size)
{
    g_chunks->push_back({address, size});
    return true;
}

struct VerifyOptions {
    std::string image, key, region = "0:0xFFFFFFFF", tag = "ZENTROVA";
    int chunk = 4096;
    bool list = false, json = false;
};

int runVerify(const VerifyOptions& o)
{
    const size_t colon = o.region.find(':');
    if (colon == std::string::npos)
        throw UsageError("--region: '" + o.region + "' is not START:SIZE");
    const uint32_t regionStart = parseU32(o.region.substr(0, colon), "--region start");
    const uint32_t regionSize = parseU32(o.region.substr(colon + 1), "--region size");
    if (o.tag.size() != 8)
        throw UsageError("--tag: '" + o.tag + "' is not 8 characters");
    if (o.chunk % 16 != 0)
        throw UsageError("--chunk: " + std::to_string(o.chunk) + " is not a multiple of 16");
    const auto chunk = static_cast<uint32_t>(o.chunk);

    const std::array<uint8_t, 32> key = readKey(o.key);
    const std::vector<uint8_t> image = readWholeFile(o.image, kMaxDfuFileSize);
    // The header first, with the reason for a refusal. Like the firmware
    // update, which sends the whole file, no bytes may follow the payload.
    std::string why;
    const std::optional<zentrova::DfuHeader> header = zentrova::DfuHeader::parse(image.data(), image.size(), &why);
    if (header && header->imageSize() != image.size())
        why = std::to_string(image.size() - header->imageSize()) + " trailing byte(s) behind the payload";
    if (!why.empty())
        fail(zentrova::Cause::InvalidFile, "%s: invalid image: %s", o.image.c_str(), why.c_str());
    std::vector<uint8_t> work(std::max<uint32_t>(32, chunk));
    dfu_image_ctx_t ctx{image.data(), key.data(), o.tag.c_str(), static_cast<uint32_t>(image.size()),
                        regionStart, regionSize, work.data(), chunk};
    std::vector<Chunk> chunks;
    g_chunks = &chunks;
    const bool valid = dfu_decode_image(&ctx, o.list || o.json ? collectChunk : nullptr);
    g_chunks = nullptr;
    if (!valid)
        fail(zentrova::Cause::InvalidFile, "%s: invalid image", o.image.c_str());
    const std::string version1 = zentrova::formatBcdVersion(header->version1);
    const std::string version2 = zentrova::formatBcdVersion(header->version2);
    if (o.json) {
        JsonOutput j;
        j.writer.StartObject();
        j.field("file", o.image);
        j.field("valid", true);
        j.field("tag", std::string(header->tagText()));
        j.field("version1", version1);
        j.field("version2", version2);
        j.field("size", image.size());
        j.key("chunks");
        j.writer.StartArray();
        for (const Chunk& c : chunks) {
            j.writer.StartObject();
            j.field("address", unsigned{c.address});
            j.field("size", c.size);
            j.writer.EndObject();
        }
        j.writer.EndArray();
        j.writer.EndObject();
        j.print();
        return 0;
    }
    for (const Chunk& c : chunks)
        std::printf("0x%08X %zu\n", c.address, c.size);
    std::printf("%s: valid, version1 %s, version2 %s\n", o.image.c_str(), version1.c_str(), version2.c_str());
    return 0;
}

void defineDfu(CLI::App& zentrova)
{
    CLI::App* dfu = addCommand(zentrova, "dfu", "pack and verify encrypted firmware (DFU) images");
    dfu->require_subcommand(1);
    addExamples(dfu, {"zentrova dfu pack --key key.hex -o fw.dfu --version1 0123 0x08004000:app.bin",
                      "zentrova dfu verify fw.dfu --key key.hex"});

    CLI::App* pack = addCommand(*dfu, "pack", "build an encrypted firmware image from binary files");
    auto p = std::make_shared<PackOptions>();
    pack->add_option("ADDRESS:FILE", p->segments, "segments: the bytes of FILE for target ADDRESS (0x... or decimal)")
        ->required();
    pack->add_option("--key", p->key, "AES-256 key file: 64 hex digits")->type_name("FILE")->required();
    pack->add_option("-o,--output", p->output, "image file to write ('-': standard output)")
        ->type_name("IMAGE")
        ->required();
    pack->add_option("--version1", p->version1, "firmware version, four BCD digits such as 0123")
        ->type_name("BCD")
        ->required();
    pack->add_option("--version2", p->version2, "format version, four BCD digits")
        ->type_name("BCD")
        ->capture_default_str();
    pack->add_option("--tag", p->tag, "product tag of 8 characters")->type_name("TAG")->capture_default_str();
    pack->add_option("--salt", p->salt, "first check-block bytes, 32 hex digits (default: random)")
        ->type_name("HEX");
    pack->add_flag("--pad", p->pad,
                   "fill each segment up to a multiple of 16 bytes with 0xFF (without it, such a file is refused)");
    addExamples(pack, {"zentrova dfu pack --key key.hex -o fw.dfu --version1 0123 --pad 0x08004000:app.bin"});
    onRun(pack, [p] { return runPack(*p); });

    CLI::App* verify = addCommand(*dfu, "verify", "check a firmware image with the library's decoder");
    auto v = std::make_shared<VerifyOptions>();
    verify->add_option("IMAGE", v->image, "the image file to check")->type_name("IMAGE.dfu")->required();
    verify->add_option("--key", v->key, "AES-256 key file: 64 hex digits")->type_name("FILE")->required();
    verify->add_option("--region", v->region, "allowed target addresses")
        ->type_name("START:SIZE")
        ->capture_default_str();
    verify->add_option("--tag", v->tag, "expected product tag")->type_name("TAG")->capture_default_str();
    addNumber(verify, "--chunk", v->chunk, 16, 0x7FFFFFF0, "BYTES",
              "decrypt at most this many bytes at once, a multiple of 16")
        ->capture_default_str();
    verify->add_flag("--list", v->list, "print the target address and size of every decrypted chunk");
    verify->add_flag("--json", v->json, "print one JSON object (with every chunk)");
    addExamples(verify, {"zentrova dfu verify fw.dfu --key key.hex --region 0x08004000:0x3C000 --list"});
    onRun(verify, [v] { return runVerify(*v); });
}

ToolCommandRegistration registration(80, defineDfu);

} // namespace
