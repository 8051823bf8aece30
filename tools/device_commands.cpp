// Device commands of the zentrova tool: thin layers over doPfu and
// getFwVersion that say what the result means. "pfu.log" (and the driver's
// "driver.log") in the current directory hold the details of every call.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "zentrova/device/DeviceTool.h"
#include "zentrova/device/FirmwareVersion.h"
#include "zentrova/device/ZentrovaDriver.h"
#include "zentrova/integrity/DfuHeader.h"

namespace {

const char* handName(int rightHand) { return rightHand ? "right" : "left"; }

const char* resultText(int result)
{
    switch (result) {
    case ZENTROVA_PFU_DONE: return "done";
    case ZENTROVA_PFU_NO_DEVICE: return "no mouse of that hand is attached";
    case ZENTROVA_PFU_BAD_HAND: return "unknown hand";
    case ZENTROVA_PFU_PROFILE_UPLOADED: return "profile uploaded";
    case ZENTROVA_PFU_PROFILE_UNREADABLE: return "the profile file could not be opened or read";
    case ZENTROVA_PFU_PROFILE_INVALID: return "the profile file is not a valid profile image";
    case ZENTROVA_PFU_FIRMWARE_SENT: return "firmware image sent";
    case ZENTROVA_PFU_FIRMWARE_INVALID: return "the firmware file failed the DFU header checks";
    case ZENTROVA_PFU_DEVICE_ERROR: return "the mouse reported an error";
    case ZENTROVA_PFU_USB_ERROR: return "USB error (with \"access denied\": install the udev rule)";
    case ZENTROVA_PFU_FILE_ERROR: return "the firmware file could not be opened or read";
    case ZENTROVA_PFU_OTHER_ERROR: return "unexpected error";
    case ZENTROVA_PFU_LED_DONE: return "LED effect set";
    case ZENTROVA_PFU_PROGRAM_STARTED: return "program started";
    case ZENTROVA_PFU_NOT_DONE: return "nothing done (operation not defined, or no mouse answered the hand's ID)";
    default: return "unknown result";
    }
}

// Prints the outcome of one doPfu call; the exit status is 0 only for the
// operation's success code.
int report(const char* command, int result, int success)
{
    if (result == success) {
        std::printf("%s: %s\n", command, resultText(result));
        return 0;
    }
    std::fprintf(stderr, "zentrova %s: failed: %s (result %d); see pfu.log\n", command, resultText(result), result);
    return 1;
}

int pfu(const char* command, int success, int rightHand, int operation, int value = 0, const char* file = nullptr,
        unsigned color = 0, int ledProgram = 0, int brightness = 0, int speed = 0, int program = 0)
{
    const int result = doPfu(rightHand, operation, value, file, color, ledProgram, brightness, speed, program);
    return report(command, result, success);
}

CommandLineParser parser(const char* name, int argc, char** argv)
{
    return CommandLineParser(std::string("zentrova ") + name, argc, argv);
}

int runCheck(int argc, char** argv)
{
    auto cl = parser("check", argc, argv);
    cl.addUsageDescription(kHandUsage, "the mouse to look for");
    handleHelp(cl);
    const int hand = requireHand(cl);
    cl.finish();
    return pfu("check", ZENTROVA_PFU_DONE, hand, ZENTROVA_PFU_OP_CHECK);
}

int runUpload(int argc, char** argv)
{
    auto cl = parser("upload", argc, argv);
    cl.addUsageDescription("IMAGE", "profile image file (from 'zentrova compile')");
    cl.addUsageDescription("--slot N", "profile slot, 1 to 255");
    cl.addUsageDescription(kHandUsage, "the mouse to upload to");
    handleHelp(cl);
    const int hand = requireHand(cl);
    const int slot = static_cast<int>(requireNumber(cl, "", "--slot", 1, 255));
    const std::string image = requirePositional(cl, "IMAGE");
    cl.finish();
    return pfu("upload", ZENTROVA_PFU_PROFILE_UPLOADED, hand, ZENTROVA_PFU_OP_UPLOAD_PROFILE, slot, image.c_str());
}

int runActivate(int argc, char** argv)
{
    auto cl = parser("activate", argc, argv);
    cl.addUsageDescription("--slot N", "profile slot, 1 to 255");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const int hand = requireHand(cl);
    const int slot = static_cast<int>(requireNumber(cl, "", "--slot", 1, 255));
    cl.finish();
    return pfu("activate", ZENTROVA_PFU_DONE, hand, ZENTROVA_PFU_OP_ACTIVATE_PROFILE, slot);
}

int ledEffect(const std::string& name)
{
    if (name == "static")
        return ZENTROVA_LED_STATIC;
    if (name == "breathing")
        return ZENTROVA_LED_BREATHING;
    if (name == "rainbow")
        return ZENTROVA_LED_RAINBOW;
    if (name == "off")
        return ZENTROVA_LED_OFF;
    throw CommandLineException("--effect", ("'" + name + "' is not static, breathing, rainbow or off").c_str());
}

// RRGGBB (an optional leading '#') as doPfu's 0xRRGGBBxx.
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
    auto cl = parser("led", argc, argv);
    cl.addUsageDescription("--effect E", "static, breathing, rainbow or off");
    cl.addUsageDescription("--color RRGGBB", "color in hexadecimal (static, breathing; default FFFFFF)");
    cl.addUsageDescription("--brightness N", "0 to 255 (default 255)");
    cl.addUsageDescription("--speed N", "0 to 255 (breathing, rainbow; default 128)");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const int hand = requireHand(cl);
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
    return pfu("led", ZENTROVA_PFU_LED_DONE, hand, ZENTROVA_PFU_OP_LED, 0, nullptr, rgb, effect,
               static_cast<int>(brightness.value), static_cast<int>(speed.value));
}

int runProgram(int argc, char** argv)
{
    auto cl = parser("run", argc, argv);
    cl.addUsageDescription("--program N", "stored program number, 0 to 64");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const int hand = requireHand(cl);
    const int program = static_cast<int>(requireNumber(cl, "", "--program", 0, 64));
    cl.finish();
    return pfu("run", ZENTROVA_PFU_PROGRAM_STARTED, hand, ZENTROVA_PFU_OP_RUN_PROGRAM, 0, nullptr, 0, 0, 0, 0,
               program);
}

int runPolling(int argc, char** argv)
{
    auto cl = parser("polling", argc, argv);
    cl.addUsageDescription("--rate N", "polling rate code, 1 to 255");
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const int hand = requireHand(cl);
    const int rate = static_cast<int>(requireNumber(cl, "", "--rate", 1, 255));
    cl.finish();
    return pfu("polling", ZENTROVA_PFU_DONE, hand, ZENTROVA_PFU_OP_POLLING_RATE, rate);
}

int runFirmware(int argc, char** argv)
{
    auto cl = parser("firmware", argc, argv);
    cl.addUsageDescription("DFU-IMAGE", "encrypted firmware image");
    cl.addUsageDescription(kHandUsage, "the mouse to update");
    handleHelp(cl);
    const int hand = requireHand(cl);
    const std::string image = requirePositional(cl, "DFU-IMAGE");
    cl.finish();
    return pfu("firmware", ZENTROVA_PFU_FIRMWARE_SENT, hand, ZENTROVA_PFU_OP_FIRMWARE, 0, image.c_str());
}

int runVersion(int argc, char** argv)
{
    auto cl = parser("version", argc, argv);
    cl.addUsageDescription(kHandUsage, "the mouse");
    handleHelp(cl);
    const int hand = requireHand(cl);
    cl.finish();
    const float version = getFwVersion(hand);
    if (version == 0.0f) {
        std::fprintf(stderr, "zentrova version: no %s-hand mouse found, or it cannot be opened; see pfu.log\n",
                     handName(hand));
        return 1;
    }
    std::printf("%.2f\n", static_cast<double>(version));
    return 0;
}

// Enumerates without opening a mouse for more than its strings; access
// problems end the listing of that hand with the USB error.
int listHand(int rightHand)
{
    ZentrovaDriver driver;
    driver.rightMouse = rightHand == 1;
    std::vector<UsbDeviceInfo> devices;
    try {
        driver.find(devices);
    } catch (const UsbException& e) {
        std::fprintf(stderr, "zentrova list: %s-hand mouse: %s\n", handName(rightHand), e.what());
        return 1;
    }
    for (const UsbDeviceInfo& d : devices) {
        std::printf("%-6s %04x:%04x  %-20s %-20s %-16s firmware %s\n", handName(rightHand), d.vid, d.pid,
                    d.manufacturer.c_str(), d.product.c_str(), d.serialNumber.c_str(),
                    zentrova::formatBcdVersion(d.bcdDevice).c_str());
    }
    return devices.empty() ? -1 : 0;
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
