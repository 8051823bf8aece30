// getFwVersion and testLib.
#include "zentrova/device/FirmwareVersion.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

#include "device/MouseLink.h"
#include "device/PfuLog.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/integrity/DfuHeader.h"

namespace {

// Writes one line to pfu_log while a doPfu call holds it open; otherwise
// appends it to "pfu.log" and closes the file again.
__attribute__((format(printf, 1, 2))) void versionLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (pfu_log) {
        zentrova::vlogTo(pfu_log, format, args);
    } else if (std::FILE* log = std::fopen("pfu.log", "a")) {
        zentrova::vlogTo(log, format, args);
        std::fclose(log);
    }
    va_end(args);
}

} // namespace

float getFwVersion(int rightHand)
{
    const std::lock_guard<std::mutex> oneCallAtATime(zentrova::deviceEntryLock());
    if (rightHand != 0 && rightHand != 1)
        return 0.0f;
    // Enumeration throws when a matching mouse cannot be opened (most often
    // "access denied"); the caller is a foreign runtime, so report 0.0.
    try {
        zentrova::MouseLink link("driver.log");
        std::vector<UsbDeviceInfo> devices;
        const std::vector<zentrova::MouseInfo> mice =
            link.findMice(rightHand == 1 ? zentrova::Hand::Right : zentrova::Hand::Left, devices);
        if (mice.empty())
            return 0.0f;
        const uint16_t bcd = mice.front().bcdDevice;
        const zentrova::BcdVersion v = zentrova::decodeBcdVersion(bcd);
        versionLog("\n\nZentrova firmware version: %f and %f", static_cast<double>(v.major), v.minor / 100.0);
        return zentrova::bcdVersionValue(bcd);
    } catch (const UsbException& e) {
        versionLog("\ngetFwVersion ERROR: (USB) %s\n", e.what());
    } catch (const std::exception& e) {
        versionLog("\ngetFwVersion ERROR: %s\n", e.what());
    } catch (...) {
        versionLog("\ngetFwVersion ERROR: %s\n", "unknown error");
    }
    return 0.0f;
}

int testLib(int value)
{
    return static_cast<int>(static_cast<unsigned int>(value) + 1u);
}
