// "zentrova inspect IMAGE": check a profile image and print it for a person.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "binding_description.h"
#include "command.h"
#include "exit_codes.h"
#include "file_io.h"
#include "json_output.h"
#include "program_slots.h"
#include "zentrova/profile/KeyNames.h"
#include "zentrova/profile/ProfileImage.h"
#include "zentrova/program/Disassembler.h"

namespace {

using zentrova::ProfileImage;
using zentrova::ProgramRecord;

/// Files larger than this are not read at all (no valid image comes close).
constexpr int64_t kMaxImageFileSize = 16 * 1024 * 1024;

// The name as stored, with anything unprintable shown as \xNN.
std::string printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

void printHeader(const std::string& path, size_t fileSize, const ProfileImage& image)
{
    std::printf("profile image %s (%zu bytes)\n", path.c_str(), fileSize);
    std::printf("  name          \"%s\"%s\n", printable(image.name).c_str(),
                image.nameTerminated ? "" : " (field not NUL-terminated)");
    std::printf("  version       %u\n", ProfileImage::kVersion);
    std::printf("  DPI levels   ");
    for (int i = 0; i < 6; ++i) {
        if (image.dpi[i])
            std::printf(" %d:%u", i, image.dpi[i]);
        else
            std::printf(" %d:off", i);
    }
    std::printf("\n");
    std::printf("  freeform DPI  %u\n", image.freeformDpi);
    if (image.deadZone)
        std::printf("  dead zone     %u\n", image.deadZone);
    else
        std::printf("  dead zone     0 (none)\n");
    std::printf("  programs      %zu\n", image.programs.size());
    std::printf("  CRC           0x%08x ok\n", image.storedCrc);
    if (image.reservedHeader)
        std::printf("  note: reserved header bytes 58..59 hold 0x%04x\n", image.reservedHeader);
    if (!image.fitsLoader())
        std::printf("  note: %s\n", image.loaderProblem().c_str());
}

// A program that starts a shared program with repeater_start (opcode 0x45:
// repeater number, program index, flag, two delay bounds, repeat count).
struct Starter {
    uint8_t repeater; // 0 for a macro, 1..5 for a key repeater
    uint8_t byIndex;  // program index of the starting program
};

std::map<uint8_t, std::vector<Starter>> findStarters(const ProfileImage& image)
{
    std::map<uint8_t, std::vector<Starter>> starters;
    for (const ProgramRecord& r : image.programs) {
        const uint8_t* code = r.code.data();
        for (const auto& in : zentrova::disassembleInstructions(code, r.code.size())) {
            if (in.valid && in.length == 10 && code[in.offset] == 0x45) {
                auto& list = starters[code[in.offset + 2]];
                const Starter s{code[in.offset + 1], r.index};
                bool known = false;
                for (const Starter& k : list)
                    known = known || (k.repeater == s.repeater && k.byIndex == s.byIndex);
                if (!known)
                    list.push_back(s);
            }
        }
    }
    return starters;
}

// For a shared slot: what it is by the programs that start it.
std::string sharedSlotUse(const std::vector<Starter>& starters)
{
    if (starters.empty())
        return "  started by no program of this image";
    std::string text = "  ";
    size_t macros = 0;
    for (const Starter& s : starters)
        macros += s.repeater == 0;
    if (macros == starters.size())
        text += "macro body";
    else if (macros == 0)
        text += "key-repeater stroke (repeater " + std::to_string(starters.front().repeater) + ")";
    else
        text += "macro body or key-repeater stroke (the index is shared)";
    text += ", started by index";
    for (size_t i = 0; i < starters.size(); ++i)
        text += (i ? ", " : " ") + std::to_string(starters[i].byIndex);
    return text;
}

void printRecords(const ProfileImage& image)
{
    const auto starters = findStarters(image);
    const std::vector<BindingDescription> bindings = describeBindings(image);
    const size_t count = image.programs.size();
    for (size_t i = 0; i < count; ++i) {
        const ProgramRecord& r = image.programs[i];
        std::printf("\nprogram %zu/%zu  index %u  %s  %zu bytes\n", i + 1, count, r.index,
                    describeProgramSlot(r.index).c_str(), r.code.size());
        std::printf("  binds: %s\n", bindings[i].text.c_str());
        if (r.index >= 65) {
            const auto found = starters.find(r.index);
            std::printf("%s\n", sharedSlotUse(found == starters.end() ? std::vector<Starter>() : found->second).c_str());
        }
        for (size_t later = i + 1; later < count; ++later) {
            if (image.programs[later].index == r.index) {
                std::printf("  (replaced by program %zu/%zu, which has the same index)\n", later + 1, count);
                break;
            }
        }
        if (r.reserved)
            std::printf("  note: reserved byte holds 0x%02x\n", r.reserved);
        if (r.code.empty())
            std::printf("    (empty)\n");
        for (const std::string& line :
             zentrova::disassemble(r.code.data(), r.code.size(), zentrova::hidKeyName))
            std::printf("    %s\n", line.c_str());
    }
}

// The --json form: the header fields, then per program its index, what the
// index stands for, its bytecode in hex and its disassembly.
void printJson(const std::string& path, size_t fileSize, const ProfileImage& image)
{
    JsonOutput j;
    j.writer.StartObject();
    j.field("file", path);
    j.field("size", fileSize);
    j.field("name", image.name);
    j.field("nameTerminated", image.nameTerminated);
    j.field("version", unsigned{ProfileImage::kVersion});
    j.key("dpi");
    j.writer.StartArray();
    for (uint16_t level : image.dpi)
        j.writer.Uint(level);
    j.writer.EndArray();
    j.field("freeformDpi", unsigned{image.freeformDpi});
    j.field("deadZone", unsigned{image.deadZone});
    j.field("crc", unsigned{image.storedCrc});
    j.field("loaderProblem", image.loaderProblem());
    const auto starters = findStarters(image);
    const std::vector<BindingDescription> bindings = describeBindings(image);
    j.key("programs");
    j.writer.StartArray();
    for (size_t i = 0; i < image.programs.size(); ++i) {
        const ProgramRecord& r = image.programs[i];
        j.writer.StartObject();
        j.field("index", unsigned{r.index});
        j.field("input", describeProgramSlot(r.index));
        if (r.index >= 65) {
            j.key("startedBy");
            j.writer.StartArray();
            const auto found = starters.find(r.index);
            if (found != starters.end())
                for (const Starter& s : found->second)
                    j.writer.Uint(s.byIndex);
            j.writer.EndArray();
        }
        bool replaced = false;
        for (size_t later = i + 1; later < image.programs.size(); ++later)
            replaced = replaced || image.programs[later].index == r.index;
        j.field("replaced", replaced);
        const BindingDescription& b = bindings[i];
        j.key("binding");
        j.writer.StartObject();
        j.field("input", b.input);
        j.field("event", b.event);
        j.field("kind", b.kind);
        j.field("text", b.text);
        for (const auto& [name, value] : b.fields) {
            j.key(name.c_str());
            if (const auto* text = std::get_if<std::string>(&value))
                j.string(*text);
            else if (const auto* number = std::get_if<int64_t>(&value))
                j.writer.Int64(*number);
            else
                j.writer.Bool(std::get<bool>(value));
        }
        j.writer.EndObject();
        std::string hex;
        for (uint8_t b : r.code) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        j.field("code", hex);
        j.key("disassembly");
        j.writer.StartArray();
        for (const std::string& line : zentrova::disassemble(r.code.data(), r.code.size(), zentrova::hidKeyName))
            j.string(line);
        j.writer.EndArray();
        j.writer.EndObject();
    }
    j.writer.EndArray();
    j.writer.EndObject();
    j.print();
}

struct Options {
    std::string path;
    bool json = false;
};

int runInspect(const Options& o)
{
    const std::vector<uint8_t> bytes = readWholeFile(o.path, kMaxImageFileSize);
    const zentrova::ProfileImageParse parsed = ProfileImage::tryParse(bytes.data(), bytes.size());
    if (parsed.error)
        fail(zentrova::Cause::InvalidFile, "%s: invalid profile image: %s", o.path.c_str(), parsed.error->what());

    if (o.json) {
        printJson(o.path, bytes.size(), parsed.image);
        return 0;
    }
    printHeader(o.path, bytes.size(), parsed.image);
    printRecords(parsed.image);
    return 0;
}

void defineInspect(CLI::App& zentrova)
{
    CLI::App* inspect = addCommand(zentrova, "inspect", "check a profile image and print its header and programs");
    auto o = std::make_shared<Options>();
    inspect->add_option("IMAGE", o->path, "profile image to check and print")->type_name("IMAGE.zvmp")->required();
    inspect->add_flag("--json", o->json, "print one JSON object");
    addExamples(inspect, {"zentrova inspect sniper.zvmp", "zentrova inspect sniper.zvmp --json"});
    onRun(inspect, [o] { return runInspect(*o); });
}

ToolCommandRegistration registration(30, defineInspect);

} // namespace
