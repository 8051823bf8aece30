// The library's side of one mouse: the driver with the steps that both the
// C++ Session and the C entry points (doPfu, getFwVersion) take. These steps
// throw as the driver does; Session turns what they throw into a Result with
// failureResult(), doPfu into its result codes and "pfu.log" lines.
#ifndef ZENTROVA_DEVICE_MOUSELINK_H
#define ZENTROVA_DEVICE_MOUSELINK_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceLock.h"
#include "device/LedEffect.h"
#include "zentrova/device/Result.h"
#include "zentrova/device/Session.h"
#include "zentrova/device/ZentrovaDriver.h"

namespace zentrova {

class MouseLink : public ZentrovaDriver {
public:
    // `driverLog`: the protocol log to append to, null for none.
    explicit MouseLink(const char* driverLog, unsigned busyBoundMs = 10000);

    // A mouse the search could not describe: its node and the libusb code
    // of the request that failed.
    struct LeftOut {
        std::string deviceNode;
        int usbCode;
    };

    // The mice of `hand` (both hands when none), and in `devices` their
    // records to open, index by index. A mouse that went away since the
    // listing, or that fails a string request, is left out; so is one that
    // may not be opened, which throws UsbException "access denied" unless
    // `leftOut` is given. Every mouse left out goes to `leftOut`.
    std::vector<MouseInfo> findMice(std::optional<Hand> hand, std::vector<UsbDeviceInfo>& devices,
                                    std::vector<LeftOut>* leftOut = nullptr);

    // Locks the open mouse for one operation (DeviceLock), waiting for
    // another program at most as long as an operation may take (3 times
    // the handshake bound).
    DeviceLock lockOperation();

    // The effect's parameter record, then its LED program.
    void setLed(const LedEffect& effect);
    void sendProfile(uint8_t slot, const uint8_t* image, size_t size, const Progress& progress);
    void sendFirmware(const uint8_t* image, size_t size, const Progress& progress);
};

// The Result for the exception being handled; call it inside a catch block.
Result failureResult();

// The checks an image must pass before it is sent to the mouse.
Result checkProfileImage(const std::vector<uint8_t>& image);
bool firmwareImageAcceptable(const uint8_t* image, size_t size);

} // namespace zentrova

#endif
