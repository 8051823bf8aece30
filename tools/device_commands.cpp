// Device commands of the zentrova tool, on the library's Session API: each
// command selects one mouse (by hand, by serial number, or the only one
// attached), checks its ID, runs one operation and says what happened. A
// failure names its cause and ends with that cause's exit code.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "compile.h"
#include "exit_codes.h"
#include "file_io.h"
#include "firmware_check.h"
#include "json_output.h"
#include "progress.h"
#include "zentrova/integrity/DfuHeader.h"

namespace {

using zentrova::Cause;
using zentrova::Result;
using zentrova::Session;

// What a failed Result means to the person at the keyboard, and what to do.
std::string failureText(const Result& r)
{
    switch (r.cause) {
    case Cause::AccessDenied:
        return "access denied to " + (r.deviceNode.empty() ? std::string("the mouse") : r.deviceNode) +
               "; install the udev rule packaging/70-zentrova.rules (into /lib/udev/rules.d) and plug the mouse "
               "in again";
    case Cause::Disconnected: return "the mouse was disconnected; plug it in again and repeat the command";
    case Cause::Timeout: return "the mouse did not answer in time; unplug it, plug it in again and repeat";
    case Cause::Busy: // the mouse itself, or another program holding it
        return r.deviceNode.empty() ? "the mouse stayed busy for too long; wait a moment and repeat" : r.message;
    case Cause::DeviceError: return "the mouse reported an error: " + r.message;
    case Cause::UsbError: return "USB error: " + r.message;
    case Cause::NoMouse: return r.message + " ('zentrova list' shows the mice attached)";
    case Cause::SeveralMice: return r.message + " (--hand or --serial)";
    case Cause::InvalidFile:
    case Cause::UnreadableFile: return r.message;
    default: return std::string(zentrova::causeName(r.cause)) + ": " + r.message;
    }
}

// Ends the command with the cause of a failed (or NothingToDo) result.
void require(const Result& r)
{
    if (r.cause != Cause::Done)
        throw ToolFailure(r.cause, "failed: " + failureText(r));
}

Session openChecked(const MouseChoice& choice)
{
    Session session;
    require(Session::open(choice.selector(), session));
    require(session.check());
    return session;
}

// Opens the chosen mouse, checks its ID, runs `operation` and prints `done`.
template <typename Operation>
int onMouse(const char* command, const MouseChoice& choice, const char* done, Operation operation)
{
    Session session = openChecked(choice);
    require(operation(session));
    std::printf("%s: %s\n", command, done);
    return 0;
}

// ---- list, version, check ------------------------------------------------

struct ListOptions {
    std::string hand;
    bool json = false;
};

int runList(const ListOptions& o)
{
    std::vector<zentrova::MouseInfo> mice;
    const Result r = zentrova::listMice(mice, o.hand.empty() ? std::nullopt : std::optional(handOf(o.hand)));
    if (!r)
        throw ToolFailure(r.cause, failureText(r));
    // Left before right, then by serial number: the same order on every run.
    std::stable_sort(mice.begin(), mice.end(), [](const zentrova::MouseInfo& a, const zentrova::MouseInfo& b) {
        return a.hand != b.hand ? a.hand == zentrova::Hand::Left : a.serialNumber < b.serialNumber;
    });
    if (o.json) {
        JsonOutput j;
        j.writer.StartObject();
        j.key("mice");
        j.writer.StartArray();
        for (const auto& m : mice)
            j.mouse(m);
        j.writer.EndArray();
        j.writer.EndObject();
        j.print();
        return 0;
    }
    // Columns as wide as their longest entry.
    const std::vector<std::string> titles = {"HAND", "USB ID", "MANUFACTURER", "PRODUCT", "SERIAL", "FIRMWARE"};
    std::vector<std::vector<std::string>> rows = {titles};
    for (const auto& m : mice) {
        char id[16];
        std::snprintf(id, sizeof id, "%04x:%04x", m.vendorId, m.productId);
        rows.push_back({handWord(m.hand), id, m.manufacturer, m.product, m.serialNumber,
                        zentrova::formatBcdVersion(m.bcdDevice)});
    }
    std::vector<size_t> width(titles.size());
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c] + std::string(width[c] - row[c].size() + 2, ' ') : row[c];
        std::printf("%s\n", line.c_str());
    }
    if (mice.empty())
        std::fprintf(stderr, "zentrova list: no Zentrova mouse attached\n");
    return 0;
}

struct MouseOptions {
    MouseChoice mouse;
    bool json = false;
};

int runVersion(const MouseOptions& o)
{
    std::vector<zentrova::MouseInfo> mice;
    size_t index = 0;
    const zentrova::Selector selector = o.mouse.selector();
    Result r = zentrova::listMice(mice, selector.hand);
    if (r)
        r = zentrova::selectMouse(mice, selector, index);
    require(r);
    const zentrova::MouseInfo& m = mice[index];
    if (o.json) {
        JsonOutput j;
        j.writer.StartObject();
        j.field("firmware", zentrova::formatBcdVersion(m.bcdDevice));
        j.key("mouse");
        j.mouse(m);
        j.writer.EndObject();
        j.print();
        return 0;
    }
    std::printf("%s\n", zentrova::formatBcdVersion(m.bcdDevice).c_str());
    return 0;
}

int runCheck(const MouseOptions& o)
{
    Session session = openChecked(o.mouse);
    if (o.json) {
        JsonOutput j;
        j.writer.StartObject();
        j.field("result", zentrova::causeName(Cause::Done));
        j.key("mouse");
        j.mouse(session.mouse());
        j.writer.EndObject();
        j.print();
        return 0;
    }
    std::printf("check: done\n");
    return 0;
}

// ---- upload, apply, activate, led, run, polling ---------------------------

struct UploadOptions {
    MouseChoice mouse;
    std::string image;
    int slot = 0;
    bool quiet = false;
};

int runUpload(const UploadOptions& o)
{
    return onMouse("upload", o.mouse, "profile uploaded", [&](Session& s) {
        ProgressBar bar("upload", o.quiet);
        return s.uploadProfileFile(static_cast<uint8_t>(o.slot), o.image, bar.callback());
    });
}

struct ApplyOptions {
    CompileRequest request; // hand: the mouse's when not given
    MouseChoice mouse;
    int slot = 0;
    bool activate = false, quiet = false;
};

int runApply(ApplyOptions o)
{
    o.mouse.hand = o.request.hand;
    Session session = openChecked(o.mouse);
    o.request.hand = handWord(session.mouse().hand);
    const zentrova::CompileResult compiled = compileForTool(o.request);
    {
        ProgressBar bar("upload", o.quiet);
        require(session.uploadProfile(static_cast<uint8_t>(o.slot), compiled.bytes, bar.callback()));
    }
    if (o.activate)
        require(session.activateProfile(static_cast<uint8_t>(o.slot)));
    std::printf("apply: profile '%s' uploaded into slot %d%s\n", o.request.profile.c_str(), o.slot,
                o.activate ? " and activated" : "");
    return 0;
}

struct SlotOptions {
    MouseChoice mouse;
    int slot = 0;
};

int ledEffect(const std::string& name)
{
    return name == "static" ? 2 : name == "breathing" ? 0 : name == "rainbow" ? 1 : -1;
}

// RRGGBB (an optional leading '#'): "" when fine, else why not.
std::string colorProblem(const std::string& text)
{
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    const bool ok = hex.size() == 6 && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    return ok ? "" : "'" + text + "' is not a color RRGGBB";
}

struct LedOptions {
    MouseChoice mouse;
    std::string effect, color = "FFFFFF";
    int brightness = 255, speed = 128;
};

int runLed(const LedOptions& o)
{
    const std::string hex = o.color[0] == '#' ? o.color.substr(1) : o.color;
    const auto rgb = static_cast<unsigned>(std::strtoul(hex.c_str(), nullptr, 16));
    const zentrova::LedSettings led{rgb << 8, ledEffect(o.effect), o.brightness, o.speed};
    return onMouse("led", o.mouse, "LED effect set", [&](Session& s) { return s.setLed(led); });
}

// ---- firmware -------------------------------------------------------------

struct FirmwareOptions {
    MouseChoice mouse;
    std::string image;
    bool yes = false, allowOlder = false, quiet = false;
};

bool confirmed(const std::string& question)
{
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

int runFirmware(const FirmwareOptions& o)
{
    if (!o.yes && !isatty(STDIN_FILENO))
        throw UsageError("standard input is not a terminal to confirm the update on; give --yes to update without "
                         "asking");
    const std::vector<uint8_t> image = readWholeFile(o.image, zentrova::kMaxFirmwareFileBytes);
    std::string why;
    const auto header = zentrova::DfuHeader::parse(image.data(), image.size(), &why);
    if (!header)
        fail(Cause::InvalidFile, "%s: not a firmware image: %s", o.image.c_str(), why.c_str());

    Session session = openChecked(o.mouse);
    const zentrova::MouseInfo& m = session.mouse();
    const std::string from = zentrova::formatBcdVersion(m.bcdDevice), to = zentrova::formatBcdVersion(header->version1);
    std::printf("mouse:  %s-hand mouse %s, firmware %s\nimage:  %s, firmware %s\n", handWord(m.hand),
                m.serialNumber.c_str(), from.c_str(), o.image.c_str(), to.c_str());
    std::fflush(stdout);
    const int order = compareFirmware(header->version1, m.bcdDevice);
    if (order <= 0 && !o.allowOlder)
        fail(Cause::NothingToDo, "the image's firmware %s is %s the mouse's; --allow-older sends it anyway",
             to.c_str(), order == 0 ? "the same as" : "older than");
    if (!o.yes && !confirmed("Replace firmware " + from + " with " + to + "?"))
        fail(Cause::NothingToDo, "not confirmed; the mouse keeps firmware %s", from.c_str());
    {
        ProgressBar bar("firmware", o.quiet);
        require(session.updateFirmware(image, bar.callback()));
    }
    std::printf("firmware: firmware image sent\n");
    return 0;
}

// ---- definitions ----------------------------------------------------------

void addJsonFlag(CLI::App* command, bool& json) { command->add_flag("--json", json, "print one JSON object"); }

void addQuietFlag(CLI::App* command, bool& quiet)
{
    command->add_flag("-q,--quiet", quiet, "no progress bar (shown only when standard error is a terminal)");
}

void defineDeviceCommands(CLI::App& z)
{
    {
        CLI::App* c = addCommand(z, "list", "list the attached mice with their strings and firmware version");
        auto o = std::make_shared<ListOptions>();
        addHandOption(c, o->hand, "only the mice of this hand (default: both)");
        addJsonFlag(c, o->json);
        addExamples(c, {"zentrova list", "zentrova list --hand left --json"});
        onRun(c, [o] { return runList(*o); });
    }
    {
        CLI::App* c = addCommand(z, "version", "print the mouse's firmware version");
        auto o = std::make_shared<MouseOptions>();
        addMouseOptions(c, o->mouse);
        addJsonFlag(c, o->json);
        addExamples(c, {"zentrova version", "zentrova version --hand right --json"});
        onRun(c, [o] { return runVersion(*o); });
    }
    {
        CLI::App* c = addCommand(z, "check", "check that the mouse answers with the ID of its hand");
        auto o = std::make_shared<MouseOptions>();
        addMouseOptions(c, o->mouse);
        addJsonFlag(c, o->json);
        addExamples(c, {"zentrova check --hand left"});
        onRun(c, [o] { return runCheck(*o); });
    }
    {
        CLI::App* c = addCommand(z, "upload", "upload a profile image into a slot of the mouse");
        auto o = std::make_shared<UploadOptions>();
        c->add_option("IMAGE", o->image, "profile image file (from 'zentrova compile')")
            ->type_name("IMAGE.zvmp")
            ->required();
        addNumber(c, "--slot", o->slot, 1, 255, "N", "profile slot")->required();
        addMouseOptions(c, o->mouse);
        addQuietFlag(c, o->quiet);
        addExamples(c, {"zentrova upload sniper.zvmp --slot 2", "zentrova upload sniper.zvmp --slot=2 --hand=right"});
        onRun(c, [o] { return runUpload(*o); });
    }
    {
        CLI::App* c = addCommand(z, "apply", "compile a profile, upload it into a slot and optionally activate it");
        auto o = std::make_shared<ApplyOptions>();
        c->add_option("PROFILE.json", o->request.json, "configurator profile file")
            ->type_name("PROFILE.json")
            ->required();
        c->add_option("-p,--profile", o->request.profile, "profile to compile, at most 30 characters")
            ->type_name("NAME")
            ->required();
        addNumber(c, "--slot", o->slot, 1, 255, "N", "profile slot")->required();
        c->add_flag("--activate", o->activate, "activate the slot after the upload");
        c->add_flag("--strict", o->request.strict, "warnings of the compiler fail too (nothing is sent)");
        addHandOption(c, o->request.hand, "the mouse of this hand, and its entry of the file");
        c->add_option("--serial", o->mouse.serial, "the mouse with this serial number (see 'zentrova list')")
            ->type_name("TEXT");
        addQuietFlag(c, o->quiet);
        addExamples(c, {"zentrova apply shooter.json --profile Sniper --slot 2 --activate"});
        onRun(c, [o] { return runApply(*o); });
    }
    {
        CLI::App* c = addCommand(z, "activate", "activate a profile slot");
        auto o = std::make_shared<SlotOptions>();
        addNumber(c, "--slot", o->slot, 1, 255, "N", "profile slot")->required();
        addMouseOptions(c, o->mouse);
        addExamples(c, {"zentrova activate --slot 2"});
        onRun(c, [o] {
            return onMouse("activate", o->mouse, "done",
                           [&](Session& s) { return s.activateProfile(static_cast<uint8_t>(o->slot)); });
        });
    }
    {
        CLI::App* c = addCommand(z, "led", "set the LED effect");
        auto o = std::make_shared<LedOptions>();
        c->add_option("--effect", o->effect, "the effect")
            ->type_name("static|breathing|rainbow|off")
            ->check(CLI::IsMember({"static", "breathing", "rainbow", "off"}))
            ->required();
        c->add_option("--color", o->color, "color in hexadecimal (static, breathing)")
            ->type_name("RRGGBB")
            ->check(colorProblem)
            ->capture_default_str();
        addNumber(c, "--brightness", o->brightness, 0, 255, "N", "brightness")->capture_default_str();
        addNumber(c, "--speed", o->speed, 0, 255, "N", "speed (breathing, rainbow)")->capture_default_str();
        addMouseOptions(c, o->mouse);
        addExamples(c, {"zentrova led --effect breathing --color 00ff80 --brightness 80 --speed 3"});
        onRun(c, [o] { return runLed(*o); });
    }
    {
        CLI::App* c = addCommand(z, "run", "run a stored program");
        auto o = std::make_shared<SlotOptions>();
        addNumber(c, "--program", o->slot, 0, 64, "N", "stored program number")->required();
        addMouseOptions(c, o->mouse);
        addExamples(c, {"zentrova run --program 7"});
        onRun(c, [o] {
            return onMouse("run", o->mouse, "program started",
                           [&](Session& s) { return s.runProgram(static_cast<unsigned>(o->slot)); });
        });
    }
    {
        CLI::App* c = addCommand(z, "polling", "set the polling rate");
        auto o = std::make_shared<SlotOptions>();
        addNumber(c, "--rate", o->slot, 1, 255, "CODE", "polling rate code")->required();
        addMouseOptions(c, o->mouse);
        addExamples(c, {"zentrova polling --rate 4"});
        onRun(c, [o] {
            return onMouse("polling", o->mouse, "done",
                           [&](Session& s) { return s.setPollingRate(static_cast<uint8_t>(o->slot)); });
        });
    }
    {
        CLI::App* c = addCommand(z, "firmware", "update the mouse's firmware from a DFU image");
        auto o = std::make_shared<FirmwareOptions>();
        c->add_option("DFU-IMAGE", o->image, "encrypted firmware image")->type_name("IMAGE.dfu")->required();
        c->add_flag("-y,--yes", o->yes, "update without asking (needed when standard input is no terminal)");
        c->add_flag("--allow-older,--force", o->allowOlder, "also send the same or an older firmware version");
        addMouseOptions(c, o->mouse);
        addQuietFlag(c, o->quiet);
        addExamples(c, {"zentrova firmware fw.dfu", "zentrova firmware fw.dfu --hand left --yes --quiet"});
        onRun(c, [o] { return runFirmware(*o); });
    }
}

ToolCommandRegistration registration(40, defineDeviceCommands);

} // namespace
