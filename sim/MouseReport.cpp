#include "sim/MouseReport.h"

#include <cstdarg>
#include <cstdio>

namespace zentrova::sim {

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

std::string bytes(const uint8_t* p, size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += format(i ? " %02x" : "%02x", p[i]);
    return s;
}

// Printable form of a stored name (it comes from an uploaded file).
std::string printable(const std::string& name)
{
    std::string s;
    for (unsigned char c : name)
        s += (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') ? std::string(1, char(c)) : format("\\x%02x", c);
    return s;
}

} // namespace

std::string describeMouse(const MouseModel& mouse, const std::string& label)
{
    const MouseConfig& c = mouse.config();
    const MouseState s = mouse.state();
    const auto& d = mouse.deviceDescriptor();
    const unsigned pid = d[10] | d[11] << 8;
    std::string r = format("%s: %s hand, %04x:%04x, mouse ID %u, firmware %x.%02x%s\n", label.c_str(),
                           c.rightHand ? "right" : "left", c.vendorId, pid, mouse.mouseIdByte(),
                           c.bcdDevice >> 8, c.bcdDevice & 0xFF, mouse.unpluggedFlag() ? " (unplugged)" : "");
    r += format("  profile slots (%zu):", c.slotLimits.size());
    if (s.slots.empty())
        r += " all empty";
    r += "\n";
    for (const auto& [slot, image] : s.slots)
        r += format("    slot %u: %zu bytes, name \"%s\"\n", slot, image.size(), printable(profileImageName(image)).c_str());
    r += s.activeSlot ? format("  active slot: %u\n", s.activeSlot) : std::string("  active slot: none\n");
    if (s.ledColorSet)
        r += format("  LED color: %s (0x%02x%02x%02x)\n", bytes(s.ledColor.data(), 3).c_str(), s.ledColor[2],
                    s.ledColor[1], s.ledColor[0]);
    else
        r += "  LED color: not set\n";
    if (!s.ledProgramSet)
        r += "  LED effect: not set\n";
    else if (s.ledProgram == 0)
        r += "  LED effect: stopped\n";
    else
        r += format("  LED effect: program %u\n", s.ledProgram);
    r += s.ledParamsSet ? "  LED parameters: " + bytes(s.ledParams.data(), s.ledParams.size()) + "\n"
                        : std::string("  LED parameters: not set\n");
    r += s.pollingRate ? format("  polling rate: code %u\n", s.pollingRate) : std::string("  polling rate: not set\n");
    r += s.lastProgram >= 0 ? format("  last program run: %d\n", s.lastProgram) : std::string("  last program run: none\n");
    r += s.firmwareReceived ? format("  firmware image received: %zu bytes\n", s.firmware.size())
                            : std::string("  firmware image received: none\n");
    r += format("  vendor requests: %zu, status errors answered: %u\n", mouse.vendorTranscript().size(),
                s.statusErrors);
    return r;
}

} // namespace zentrova::sim
