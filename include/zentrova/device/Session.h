// The Zentrova mice as a C++ program sees them: find the attached mice, open
// one in a Session and run operations on it. Every operation returns a Result
// whose Cause says what happened (zentrova/device/Result.h); nothing is
// thrown for a device or file failure, nothing is written to standard output
// and no file is created unless SessionOptions::driverLog asks for one.
//
//   zentrova::Session session;
//   zentrova::Selector only;                  // no hand, no serial: the only mouse attached
//   if (zentrova::Result r = zentrova::Session::open(only, session); !r)
//       return fail(r);                       // NoMouse, SeveralMice, AccessDenied (r.deviceNode), ...
//   zentrova::Result r = session.uploadProfileFile(3, "shooter.zvmp",
//                                                  [](size_t sent, size_t total) { show(sent, total); });
//   if (r)
//       r = session.activateProfile(3);
//
// A Session is used by one thread at a time. The mouse is released when the
// Session is closed or destroyed. Each operation holds an advisory lock on
// the mouse's device node (flock) while it runs: the same operation of
// another program, or of another Session, waits for it at most as long as an
// operation may take (3 times busyBoundMs) and is then Busy, "another program
// is using the mouse at /dev/bus/usb/BBB/DDD".
#ifndef ZENTROVA_DEVICE_SESSION_H
#define ZENTROVA_DEVICE_SESSION_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zentrova/device/Result.h"
#include "zentrova/export.h"
#include "zentrova/profile/Hand.h"

namespace zentrova {

class MouseLink; // the library's side of an open mouse

// One attached mouse, as enumeration sees it (no request is sent to it).
struct MouseInfo {
    Hand hand = Hand::Right;   // product 2 right, 3 left
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t bcdDevice = 0;    // firmware version, BCD: 0x0123 is 1.23
    int firmwareMajor = 0;     // bcdDevice decoded: 1 and 23 for 0x0123
    int firmwareMinor = 0;
    std::string manufacturer;  // empty when the mouse has no such string
    std::string product;
    std::string serialNumber;
    int bus = 0;
    int address = 0;
    std::string deviceNode;    // "/dev/bus/usb/BBB/DDD"
};

// Which mouse to open: the mice matching every given field. With neither
// field set, the only mouse attached. More than one match is SeveralMice.
struct Selector {
    std::optional<Hand> hand;
    std::optional<std::string> serialNumber;
};

struct SessionOptions {
    std::string driverLog;       // non-empty: the protocol steps are appended to this file
    // Longest time one status handshake may answer busy (then Busy). An operation
    // as a whole may take 3 times this (30 s), an upload 1/50 of it more per
    // 4096-byte chunk (0.2 s); a mouse still busy then is Busy too.
    unsigned busyBoundMs = 10000;
};

// Called after each chunk of an upload: bytes sent so far of `total`.
using Progress = std::function<void(size_t sent, size_t total)>;

// An LED effect, with the values the C entry point doPfu takes.
struct LedSettings {
    unsigned color = 0xFFFFFF00; // 0xRRGGBBxx
    int effect = 2;              // -1 off, 0 breathing, 1 rainbow, 2 static; others: NothingToDo
    int brightness = 255;        // 0..255; outside: NothingToDo
    int speed = 128;             // 0..255; outside: NothingToDo
};

// The attached mice of one hand, or of both, in libusb's order. Reading their
// strings needs access to their device nodes: a mouse that may not be opened
// makes the result AccessDenied, naming its node, while the others are still
// listed. A mouse that went away, or does not answer a string request, is
// left out.
ZENTROVA_API Result listMice(std::vector<MouseInfo>& mice, std::optional<Hand> hand = std::nullopt);

// Picks the one mouse of `mice` that `selector` selects; its index goes to
// `index`. NoMouse or SeveralMice (the message lists their serial numbers).
ZENTROVA_API Result selectMouse(const std::vector<MouseInfo>& mice, const Selector& selector, size_t& index);

// The longest firmware image file updateFirmwareFile reads (a mouse's
// firmware is a small fraction of it).
constexpr size_t kMaxFirmwareFileBytes = 64u << 20;

class ZENTROVA_API Session {
public:
    Session();
    ~Session();
    Session(Session&&) noexcept;
    Session& operator=(Session&&) noexcept;

    // Finds the mouse `selector` selects and opens it into `session` (which
    // releases any mouse it held first). A mouse that may not be opened is
    // AccessDenied, naming its node, unless the selection is by serial number
    // and another mouse has it. A mouse that does not answer a string request
    // is left out; when then no mouse matches, NoMouse's message names it.
    static Result open(const Selector& selector, Session& session, const SessionOptions& options = {});

    bool isOpen() const;
    // The open mouse; a default MouseInfo when none is open.
    const MouseInfo& mouse() const;
    // The open mouse's firmware version from its bcdDevice, e.g. "1.23".
    std::string firmwareVersion() const;
    void close();

    // Asks the mouse for its ID byte: Done when it is the ID of its hand,
    // DeviceError when it is not. On a closed session every operation is NoMouse.
    Result check();
    // Slot 0 is NothingToDo; an image failing the profile image checks is
    // InvalidFile, a file that cannot be read UnreadableFile. A file longer
    // than any image the mouse's loader takes is InvalidFile unread.
    Result uploadProfile(uint8_t slot, const std::vector<uint8_t>& image, const Progress& progress = nullptr);
    Result uploadProfileFile(uint8_t slot, const std::string& path, const Progress& progress = nullptr);
    // Slot 0 is NothingToDo.
    Result activateProfile(uint8_t slot);
    Result setLed(const LedSettings& led);
    // Stored programs 0 to 64; a larger number is NothingToDo.
    Result runProgram(unsigned program);
    // Rate code 0 is NothingToDo.
    Result setPollingRate(uint8_t code);
    // An image failing the DFU header checks is InvalidFile; so is a file of
    // more than kMaxFirmwareFileBytes, which is not read further.
    Result updateFirmware(const std::vector<uint8_t>& image, const Progress& progress = nullptr);
    Result updateFirmwareFile(const std::string& path, const Progress& progress = nullptr);

private:
    std::unique_ptr<MouseLink> link;
    MouseInfo info;
};

} // namespace zentrova

#endif
