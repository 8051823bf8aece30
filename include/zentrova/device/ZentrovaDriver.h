// Device class of the Zentrova mouse: its vendor control protocol on
// endpoint 0, framed as reset, status handshake, command, status handshake.
#ifndef ZENTROVA_DEVICE_ZENTROVADRIVER_H
#define ZENTROVA_DEVICE_ZENTROVADRIVER_H

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <vector>

#include "zentrova/device/ZentrovaException.h"
#include "zentrova/device/ZentrovaRequests.h"
#include "zentrova/export.h"
#include "zentrova/usb/UsbDriver.h"

// Use: construct, set rightMouse, find, open one of the found devices, any
// number of operations, close, destroy. An object made with the public
// constructor appends to "driver.log" in the current directory. libusb failures throw UsbException; status 2,
// a status value other than 0, 1, 2, a transfer that moved fewer bytes than asked
// and the size checks throw ZentrovaException.
class ZENTROVA_API ZentrovaDriver : public virtual UsbDriver {
public:
    ZentrovaDriver();
    ~ZentrovaDriver() override;

    // Lists the mice of the hand `rightMouse` selects (vendor 0x7A51,
    // product 2 right, 3 left).
    void find(std::vector<UsbDeviceInfo>& devices) override;

    // Polls the status byte while the device answers busy (1), with a short
    // pause between polls (see statusBoundMs); status 2 throws "communication
    // error", an empty answer "short transfer: 0 of 1 bytes", any value but
    // 0, 1, 2 "undefined status 0xNN". A device busy for longer than the
    // handshake bound, or than the operation bound, fails with UsbException
    // "timeout".
    void checkStatus();
    // The mouse ID byte: 0 right-hand, 1 left-hand mouse.
    unsigned char getMouseId();

    // A zero argument sends nothing.
    void removeProfile(unsigned char slot);
    void activeProfile(unsigned char slot);
    void setPollingRate(unsigned char rate);
    void runLedProgram(unsigned char program);
    // Programs 0 to 64; a larger number sends nothing.
    void runProgram(unsigned char program);
    // LED program request with wIndex 0.
    void stopLedProgram();
    // Sends the three low-order bytes of `color`, lowest first.
    void updateLedColor(unsigned int color);
    // Sends the 16-byte LED parameter record at `params`.
    void setLedParams(unsigned char* params);

    // Chunked uploads: start (the device announces its limit), chunks of at
    // most 4096 bytes, end. uploadProfile with slot 0 sends nothing.
    void updateFirmware(const void* image, size_t size);
    void uploadProfile(unsigned char slot, const void* image, size_t size);

protected:
    // Appends its lines to the log at `logPath`; null: no log at all.
    explicit ZentrovaDriver(const char* logPath);

    // The uploads above, calling `progress` (when given) after each chunk's
    // handshake with the bytes sent so far and the image size.
    using ChunkProgress = std::function<void(size_t sent, size_t total)>;
    __attribute__((visibility("hidden"))) void sendFirmware(const void* image, size_t size,
                                                             const ChunkProgress* progress);
    __attribute__((visibility("hidden"))) void sendProfile(unsigned char slot, const void* image, size_t size,
                                                            const ChunkProgress* progress);

    void open_callback() override;
    void close_callback() override;

    FILE* logFile = nullptr; // "driver.log", or null when it could not be opened

public:
    // True: the right-hand mouse (product 2); false: the left-hand one.
    // Set by the owner before find().
    bool rightMouse = false;

protected:
    // Longest time one status handshake may keep answering busy (a flash
    // erase takes well below it); then it fails as a silent device does.
    // It also bounds each operation as a whole (a command, the ID, a whole
    // upload): from its first request, an operation ends at the latest 3
    // times this bound later (30 s), an upload 1/50 of it (0.2 s) later per
    // 4096-byte chunk; a mouse still busy then fails the same way. Between
    // busy answers the driver pauses 1 ms, doubling up to 10 ms.
    unsigned statusBoundMs = 10000;

private:
    using Deadline = std::chrono::steady_clock::time_point;
    __attribute__((visibility("hidden"))) Deadline operationDeadline(size_t chunks) const;
    // checkStatus, within the handshake bound and before `operationEnd`.
    __attribute__((visibility("hidden"))) void handshake(Deadline operationEnd);

    // Reset, handshake, the request, handshake (internal to the library).
    __attribute__((visibility("hidden"))) void framedCommand(uint8_t request, uint16_t index,
                                                              unsigned char* data, uint16_t length);
};

#endif
