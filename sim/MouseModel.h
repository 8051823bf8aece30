// The firmware of a simulated Zentrova mouse: the vendor control protocol
// (status handshake, mouse ID, profile slots, LED, programs, polling rate,
// firmware update), the standard string requests, a transcript of every
// control request, and injectable faults.
#ifndef ZENTROVA_SIM_MOUSEMODEL_H
#define ZENTROVA_SIM_MOUSEMODEL_H

#include <array>
#include <climits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim/MouseProtocol.h"
#include "sim/StandardDevice.h"
#include "sim/Testbed.h"

namespace zentrova::sim {

// Faults count the mouse's vendor requests from 1 (STATUS polls included),
// in the order of vendorTranscript(); 0 disables a fault.
struct MouseFaults {
    unsigned busyPolls = 0;        // every handshake answers busy (1) this many times first;
                                   // BUSY_FOREVER never stops
    unsigned statusErrorAfter = 0; // the first STATUS poll after request k answers 2
    unsigned stallAt = 0;          // request k is stalled
    unsigned noAnswerAt = 0;       // request k is never answered (the host times out)
    unsigned unplugAt = 0;         // the mouse is unplugged when request k arrives
    unsigned shortAnswerAt = 0;    // request k moves one data byte less than asked (IN answer or OUT chunk)
    unsigned badStatusAt = 0;      // request k, a STATUS poll, answers a value the protocol does not define
    // How every GET_DESCRIPTOR request for a string is met (they are not
    // counted): Stall, NoAnswer or Unplug; Answer is no fault.
    ControlReply::Kind stringReads = ControlReply::Kind::Answer;

    static constexpr unsigned BUSY_FOREVER = UINT_MAX;
};

struct MouseConfig {
    bool rightHand = true;
    uint16_t vendorId = protocol::kVendorId;
    uint16_t productId = 0;    // 0: from the hand (2 right, 3 left)
    int mouseId = -1;          // byte answered to the ID request; -1: from the hand (0 right, 1 left)
    uint16_t bcdDevice = 0x0123;
    std::string manufacturer = "Zentrova";
    std::string product;       // empty: "Zentrova Mouse (right hand)" / "(left hand)"
    std::string serialNumber;  // empty: "ZV-R-0001" / "ZV-L-0001"
    uint8_t iManufacturer = 1; // string indices; 0 means the device has no such string
    uint8_t iProduct = 2;
    uint8_t iSerialNumber = 3;
    // Profile slots 1..N and the size limit PROFILE_START announces for each.
    std::vector<uint32_t> slotLimits = std::vector<uint32_t>(8, 64 * 1024);
    uint32_t dfuMaxSize = 256 * 1024; // the limit DFU_START announces
    MouseFaults faults;

    static MouseConfig right() { return MouseConfig(); }
    static MouseConfig left()
    {
        MouseConfig c;
        c.rightHand = false;
        return c;
    }
};

// One control request as the mouse received it.
struct ControlRecord {
    enum class Outcome { Answered, Stalled, NoAnswer, Unplugged };
    SetupPacket setup;
    std::vector<uint8_t> data;   // OUT data stage
    std::vector<uint8_t> answer; // IN data returned
    Outcome outcome = Outcome::Answered;
};

// What the mouse holds.
struct MouseState {
    std::map<unsigned, std::vector<uint8_t>> slots; // stored profile images by slot
    unsigned activeSlot = 0;                        // 0: none activated yet
    bool ledColorSet = false;
    std::array<uint8_t, 3> ledColor{};              // as received, lowest byte first
    bool ledProgramSet = false;
    unsigned ledProgram = 0;                        // 0: stopped
    bool ledParamsSet = false;
    std::array<uint8_t, 16> ledParams{};
    unsigned pollingRate = 0;                       // 0: never set
    int lastProgram = -1;                           // -1: none run
    bool firmwareReceived = false;                  // a DFU upload ended
    std::vector<uint8_t> firmware;                  // the last complete DFU image
    unsigned resets = 0;
    unsigned statusErrors = 0;                      // status 2 answers given
};

// The name stored in a profile image (offset 9, NUL-terminated, at most 31
// bytes); empty when the image is too short.
std::string profileImageName(const std::vector<uint8_t>& image);

class MouseModel : public StandardDevice {
public:
    explicit MouseModel(const MouseConfig& config = MouseConfig());

    const MouseConfig& config() const { return cfg; }
    uint8_t mouseIdByte() const;

    // Everything below is thread-safe (the testbed calls in from its worker).
    MouseState state() const;
    std::vector<ControlRecord> transcript() const;       // every control request
    std::vector<ControlRecord> vendorTranscript() const; // vendor requests only
    // Forgets the transcript and restarts the request count of the faults.
    void clearTranscript();
    void setFaults(const MouseFaults& faults);
    bool unpluggedFlag() const;

    ControlReply control(const SetupPacket& setup, const std::vector<uint8_t>& out) override;
    void unplugged() override;

private:
    enum class Upload { None, Profile, Dfu };

    ControlReply vendor(const SetupPacket& setup, const std::vector<uint8_t>& out);
    ControlReply status();

    const MouseConfig cfg;
    mutable std::mutex mutex;
    MouseFaults faults;
    MouseState st;
    std::vector<ControlRecord> records;
    unsigned vendorCount = 0;
    unsigned pollsSinceCommand = 0;
    bool pendingError = false;       // the next STATUS answers 2
    bool statusFaultArmed = true;
    Upload upload = Upload::None;
    unsigned uploadSlot = 0;
    uint32_t uploadLimit = 0;
    std::vector<uint8_t> received;
    bool gone = false;
};

// Adds a simulated mouse to `testbed` and returns its model.
std::shared_ptr<MouseModel> addMouse(Testbed& testbed, const MouseConfig& config = MouseConfig());

} // namespace zentrova::sim

#endif
