// The Zentrova mouse's vendor protocol as its firmware sees it: USB
// identifiers, the vendor control requests on endpoint 0 and the status byte.
// Written down here independently of the library, so that the simulated
// mouse checks the host's numbers instead of agreeing with them.
#ifndef ZENTROVA_SIM_MOUSEPROTOCOL_H
#define ZENTROVA_SIM_MOUSEPROTOCOL_H

#include <cstdint>

namespace zentrova::sim::protocol {

constexpr uint16_t kVendorId = 0x7A51;
constexpr uint16_t kProductRight = 2;
constexpr uint16_t kProductLeft = 3;
constexpr uint8_t kMouseIdRight = 0;
constexpr uint8_t kMouseIdLeft = 1;

// Status byte answered to STATUS: 0 ready, 1 busy, 2 the last command
// failed. The firmware answers no other value.
constexpr uint8_t kStatusReady = 0;
constexpr uint8_t kStatusBusy = 1;
constexpr uint8_t kStatusError = 2;

enum Request : uint8_t {
    kReset = 0x01,           // out: opens every command
    kStatus = 0x02,          // in, 1 byte
    kDfuStart = 0xA0,        // in, 4 bytes: largest firmware image
    kDfuUpload = 0xA1,       // out: next chunk
    kDfuEnd = 0xA2,          // out
    kProfileStart = 0xB0,    // in, wIndex slot, 4 bytes: largest image for the slot
    kProfileUpload = 0xB1,   // out: next chunk
    kProfileEnd = 0xB2,      // out
    kProfileRemove = 0xB5,   // out, wIndex slot
    kProfileActivate = 0xB6, // out, wIndex slot
    kLedColor = 0xC0,        // out, 3 bytes
    kLedProgram = 0xC1,      // out, wIndex program (0 stops)
    kRunProgram = 0xC2,      // out, wIndex program 0..64
    kLedParams = 0xC4,       // out, 16 bytes
    kMouseId = 0xC6,         // in, 1 byte
    kPollingRate = 0xC7,     // out, wIndex rate code
};

struct RequestName {
    Request request;
    const char* name;
};

// Every request the firmware knows, with the name transcripts print.
constexpr RequestName kRequests[] = {
    {kReset, "RESET"},
    {kStatus, "STATUS"},
    {kDfuStart, "DFU_START"},
    {kDfuUpload, "DFU_UPLOAD"},
    {kDfuEnd, "DFU_END"},
    {kProfileStart, "PROFILE_START"},
    {kProfileUpload, "PROFILE_UPLOAD"},
    {kProfileEnd, "PROFILE_END"},
    {kProfileRemove, "PROFILE_REMOVE"},
    {kProfileActivate, "PROFILE_ACTIVATE"},
    {kLedColor, "LED_COLOR"},
    {kLedProgram, "LED_PROGRAM"},
    {kRunProgram, "RUN_PROGRAM"},
    {kLedParams, "LED_PARAMS"},
    {kMouseId, "ID"},
    {kPollingRate, "POLLING_RATE"},
};

inline const char* requestName(uint8_t request)
{
    for (const RequestName& r : kRequests)
        if (r.request == request)
            return r.name;
    return "?";
}

} // namespace zentrova::sim::protocol

#endif
