// Device commands of the zentrova tool, on the library's Session API: each
// command selects the mouse of one hand, checks its ID, runs one operation and
// says what happened, naming the cause of a failure.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "zentrova/device/Session.h"
#include "zentrova/integrity/DfuHeader.h"

namespace {

using zentrova::Cause;
using zentrova::Hand;
using zentrova::Result;
using zentrova::Session;

const char* handName(int rightHand) { return rightHand ? "right" : "left"; }

Hand hand(int rightHand) { return rightHand ? Hand::Right : Hand::Left; }

// What a failed Result means to the person at the keyboard.
std::string failureText(const Result& r)
{
    switch (r.cause) {
    case Cause::AccessDenied:
        return "access denied to " + (r.deviceNode.empty() ? std::string("the mouse") : r.deviceNode) +
               "; install the udev rule packaging/70-zentrova.rules (into /lib/udev/rules.d) and plug the mouse "
               "in again";
    case Cause::Disconnected: return "the mouse was disconnected";
    case Cause::Timeout: return "the mouse did not answer in time";
    case Cause::Busy: // the mouse itself, or another program holding it
        return r.deviceNode.empty() ? "the mouse stayed busy for too long" : r.message;
    case Cause::DeviceError: return "the mouse reported an error: " + r.message;
    case Cause::UsbError: return "USB error: " + r.message;
    case Cause::InvalidFile:
    case Cause::UnreadableFile:
    case Cause::NoMouse:
    case Cause::SeveralMice: return r.message;
    default: return std::string(zentrova::causeName(r.cause)) + ": " + r.message;
    }
}

int fail(const char* command, const Result& r)
{
    std::fprintf(stderr, "zentrova %s: failed: %s\n", command, failureText(r).c_str());
    return 1;
}

// Opens the mouse of the hand, checks its ID, runs `operation` and prints
// `done` when it succeeds; the exit status is 0 only then.
template <typename Operation>
int onMouse(const char* command, const zentrova::Selector& selector, const char* done, Operation operation)
{
    Session session;
    Result r = Session::open(selector, session);
    if (r)
        r = session.check();
    if (r)
        r = operation(session);
    if (r.cause != Cause::Done)
        return fail(command, r);
    std::printf("%s: %s\n", command, done);
    return 0;
}

CommandLineParser parser(const char* name, int argc, char** argv)
{
    return CommandLineParser(std::string("zentrova ") + name, argc, argv);
}

// The parser of a command on one mouse, which takes --serial beside --hand.
CommandLineParser mouseParser(const char* name, int argc, char** argv)
{
    CommandLineParser cl = parser(name, argc, argv);
    cl.addUsageDescription("--serial TEXT", "the mouse with this serial number (several of one hand attached)");
    return cl;
}

// --hand (required) and --serial (optional).
zentrova::Selector requireMouse(CommandLineParser& cl)
{
    zentrova::Selector selector;
    selector.hand = hand(requireHand(cl));
    StringArgument serial;
    if (cl.getArgument("", "--serial", serial))
        selector.serialNumber = serial.value;
    return selector;
}

int runCheck(int argc, char** argv)
{
    auto cl = mouseParser("check", argc, argv);
    cl.addUsageDescription(kHandUsage, "the mouse to look for");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    cl.finish();
    return onMouse("check", mouse, "done", [](Session&) { return Result(); });
}

int runUpload(int argc, char** argv)
{
    auto cl = mouseParser("upload", argc, argv);
    cl.addUsageDescription("IMAGE", "profile image file (from 'zentrova compile')");
    cl.addUsageDescription("--slot N", "profile slot, 1 to 255");
    cl.addUsageDescription(kHandUsage, "the mouse to upload to");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    const auto slot = static_cast<uint8_t>(requireNumber(cl, "", "--slot", 1, 255));
    const std::string image = requirePositional(cl, "IMAGE");
    cl.finish();
    return onMouse("upload", mouse, "profile uploaded",
                   [&](Session& s) { return s.uploadProfileFile(slot, image); });
}

int runActivate(int argc, char** argv)
{
    auto cl = mouseParser("activate", argc, argv);
    cl.addUsageDescription("--slot N", "profile slot, 1 to 255");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    const auto slot = static_cast<uint8_t>(requireNumber(cl, "", "--slot", 1, 255));
    cl.finish();
    return onMouse("activate", mouse, "done", [&](Session& s) { return s.activateProfile(slot); });
}

int ledEffect(const std::string& name)
{
    if (name == "static")
        return 2;
    if (name == "breathing")
        return 0;
    if (name == "rainbow")
        return 1;
    if (name == "off")
        return -1;
    throw CommandLineException("--effect", ("'" + name + "' is not static, breathing, rainbow or off").c_str());
}

// RRGGBB (an optional leading '#') as LedSettings' 0xRRGGBBxx.
unsigned parseColor(const std::string& text)
{
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    char* end = nullptr;
    const unsigned long rgb = std::strtoul(hex.c_str(), &end, 16);
    if (hex.size() != 6 || *end != '\0' || hex.find_first_of("+- ") != std::string::npos)
        throw CommandLineException("--color", ("'" + text + "' is not a color RRGGBB").c_str());
    return static_cast<unsigned>(rgb) << 8;
}

int runLed(int argc, char** argv)
{
    auto cl = mouseParser("led", argc, argv);
    cl.addUsageDescription("--effect E", "static, breathing, rainbow or off");
    cl.addUsageDescription("--color RRGGBB", "color in hexadecimal (static, breathing; default FFFFFF)");
    cl.addUsageDescription("--brightness N", "0 to 255 (default 255)");
    cl.addUsageDescription("--speed N", "0 to 255 (breathing, rainbow; default 128)");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    const int effect = ledEffect(requireString(cl, "", "--effect"));
    StringArgument color;
    NumberArgument brightness(0, 255), speed(0, 255);
    brightness.value = 255;
    speed.value = 128;
    color.value = "FFFFFF";
    cl.getArgument("", "--color", color);
    cl.getArgument("", "--brightness", brightness);
    cl.getArgument("", "--speed", speed);
    const unsigned rgb = parseColor(color.value);
    cl.finish();
    const zentrova::LedSettings led{rgb, effect, static_cast<int>(brightness.value), static_cast<int>(speed.value)};
    return onMouse("led", mouse, "LED effect set", [&](Session& s) { return s.setLed(led); });
}

int runProgram(int argc, char** argv)
{
    auto cl = mouseParser("run", argc, argv);
    cl.addUsageDescription("--program N", "stored program number, 0 to 64");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    const auto program = static_cast<unsigned>(requireNumber(cl, "", "--program", 0, 64));
    cl.finish();
    return onMouse("run", mouse, "program started", [&](Session& s) { return s.runProgram(program); });
}

int runPolling(int argc, char** argv)
{
    auto cl = mouseParser("polling", argc, argv);
    cl.addUsageDescription("--rate N", "polling rate code, 1 to 255");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    const auto rate = static_cast<uint8_t>(requireNumber(cl, "", "--rate", 1, 255));
    cl.finish();
    return onMouse("polling", mouse, "done", [&](Session& s) { return s.setPollingRate(rate); });
}

int runFirmware(int argc, char** argv)
{
    auto cl = mouseParser("firmware", argc, argv);
    cl.addUsageDescription("DFU-IMAGE", "encrypted firmware image");
    cl.addUsageDescription(kHandUsage, "the mouse to update");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    const std::string image = requirePositional(cl, "DFU-IMAGE");
    cl.finish();
    return onMouse("firmware", mouse, "firmware image sent", [&](Session& s) { return s.updateFirmwareFile(image); });
}

int runVersion(int argc, char** argv)
{
    auto cl = mouseParser("version", argc, argv);
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const zentrova::Selector mouse = requireMouse(cl);
    cl.finish();
    std::vector<zentrova::MouseInfo> mice;
    size_t index = 0;
    Result r = zentrova::listMice(mice, mouse.hand);
    if (r)
        r = zentrova::selectMouse(mice, mouse, index);
    if (!r)
        return fail("version", r);
    const zentrova::MouseInfo& m = mice[index];
    std::printf("%.2f\n", static_cast<double>(static_cast<float>(m.firmwareMajor) +
                                               static_cast<float>(m.firmwareMinor) / 100.0f));
    return 0;
}

// Lists the mice of one hand: 0 when some were found, -1 when none, 1 when
// they could not be enumerated.
int listHand(int rightHand)
{
    std::vector<zentrova::MouseInfo> mice;
    const Result r = zentrova::listMice(mice, hand(rightHand));
    if (!r) {
        std::fprintf(stderr, "zentrova list: %s-hand mouse: %s\n", handName(rightHand), failureText(r).c_str());
        return 1;
    }
    for (const zentrova::MouseInfo& m : mice)
        std::printf("%-6s %04x:%04x  %-20s %-20s %-16s firmware %s\n", handName(rightHand), m.vendorId, m.productId,
                    m.manufacturer.c_str(), m.product.c_str(), m.serialNumber.c_str(),
                    zentrova::formatBcdVersion(m.bcdDevice).c_str());
    return mice.empty() ? -1 : 0;
}

int runList(int argc, char** argv)
{
    auto cl = parser("list", argc, argv);
    cl.addUsageDescription(kHandUsage, "only the mice of one hand (default: both)");
    handleHelp(cl);
    std::vector<int> hands = {0, 1};
    StringArgument hand;
    if (cl.getArgument("", "--hand", hand)) {
        if (hand.value != "left" && hand.value != "right")
            throw CommandLineException("--hand", ("'" + hand.value + "' is neither left nor right").c_str());
        hands = {hand.value == "right" ? 1 : 0};
    }
    cl.finish();
    int failures = 0, found = 0;
    for (int h : hands) {
        const int r = listHand(h);
        failures += r > 0;
        found += r == 0;
    }
    if (failures)
        return 1;
    if (!found) {
        std::fprintf(stderr, "zentrova list: no Zentrova mouse attached\n");
        return 1;
    }
    return 0;
}

ToolCommandRegistration regList({"list", "list the attached mice with their strings and firmware version", runList});
ToolCommandRegistration regCheck({"check", "check that the mouse of one hand answers", runCheck});
ToolCommandRegistration regUpload({"upload", "upload a profile image into a slot of the mouse", runUpload});
ToolCommandRegistration regActivate({"activate", "activate a profile slot", runActivate});
ToolCommandRegistration regLed({"led", "set the LED effect", runLed});
ToolCommandRegistration regRun({"run", "run a stored program", runProgram});
ToolCommandRegistration regPolling({"polling", "set the polling rate", runPolling});
ToolCommandRegistration regFirmware({"firmware", "send a DFU firmware image to the mouse", runFirmware});
ToolCommandRegistration regVersion({"version", "print the mouse's firmware version", runVersion});

} // namespace
