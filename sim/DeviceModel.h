// A simulated USB device's firmware, as the testbed sees it: descriptors for
// sysfs, and the answers to the transfers that the host submits.
//
// The testbed (Testbed.h) turns every usbfs URB of a device into a call on
// its model: control transfers go to control(), bulk and interrupt transfers
// to transfer(). All calls arrive on umockdev's single worker thread; a
// model that is also read from other threads (tests) guards its own state.
#ifndef ZENTROVA_SIM_DEVICEMODEL_H
#define ZENTROVA_SIM_DEVICEMODEL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zentrova::sim {

// The 8-byte setup stage of a control transfer.
struct SetupPacket {
    uint8_t bmRequestType = 0;
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;

    bool isIn() const { return bmRequestType & 0x80; }
    bool isVendor() const { return (bmRequestType & 0x60) == 0x40; }
    bool isStandard() const { return (bmRequestType & 0x60) == 0x00; }
};

// How a model answers one control transfer.
struct ControlReply {
    enum class Kind {
        Answer,   // completes; IN requests return `data` (cut to wLength)
        Stall,    // the request is stalled (libusb: LIBUSB_ERROR_PIPE)
        NoAnswer, // never completes (libusb's timeout fires)
        Unplug,   // the device disappears with this request in flight
    };
    Kind kind = Kind::Answer;
    std::vector<uint8_t> data;
    size_t accepted = SIZE_MAX; // OUT requests: data bytes the device takes (a short write below the length)

    static ControlReply answer(std::vector<uint8_t> bytes = {}) { return {Kind::Answer, std::move(bytes)}; }
    static ControlReply stall() { return {Kind::Stall, {}}; }
    static ControlReply noAnswer() { return {Kind::NoAnswer, {}}; }
    static ControlReply unplug() { return {Kind::Unplug, {}}; }
};

// One bulk or interrupt URB. A model completes it at once or keeps the
// shared pointer and completes it later from any thread (data arriving on
// an interrupt endpoint, a slow device). The testbed writes the answer into
// the host's buffer when the host reaps the URB.
class Transfer {
public:
    virtual ~Transfer() = default;

    virtual uint8_t type() const = 0;      // USBDEVFS_URB_TYPE_BULK or _INTERRUPT
    virtual uint8_t endpoint() const = 0;  // with the direction bit 0x80
    bool isIn() const { return endpoint() & 0x80; }
    // OUT data the host sent (empty for IN).
    virtual const std::vector<uint8_t>& outData() const = 0;
    // Bytes the host can take (IN) or sent (OUT).
    virtual size_t length() const = 0;

    // Finishes the URB with `status` (0 or a negative errno such as -EPIPE)
    // and, for IN, `data` (cut to length()). Thread-safe; only the first
    // call counts. Returns false when the URB was already finished (for
    // instance discarded by the host).
    virtual bool complete(int status, std::vector<uint8_t> data = {}) = 0;
    virtual bool finished() const = 0;
    // Finishes an OUT URB of which the device took only the first
    // `accepted` bytes (a short write); otherwise as complete().
    virtual bool completeOut(int status, size_t accepted) = 0;
    // What has already moved should the host discard the URB later (its
    // own timeout, a cancellation): IN data delivered so far, or the number
    // of OUT bytes the device took. Thread-safe.
    virtual void setPartial(std::vector<uint8_t> inData, size_t outBytes) = 0;
};

class DeviceModel {
public:
    virtual ~DeviceModel() = default;

    // The sysfs "descriptors" attribute: the device descriptor followed by
    // the configuration descriptors, as on the wire.
    virtual std::vector<uint8_t> descriptors() const = 0;
    // The sysfs "speed" attribute in Mbit/s ("1.5", "12", "480").
    virtual std::string speed() const { return "12"; }

    // A control transfer on endpoint 0; `out` holds the OUT data stage.
    virtual ControlReply control(const SetupPacket& setup, const std::vector<uint8_t>& out) = 0;

    // A bulk or interrupt transfer. The default stalls it.
    virtual void transfer(const std::shared_ptr<Transfer>& t) { t->complete(-32 /* -EPIPE */); }

    // The host discarded a transfer that the model kept (cancellation or
    // libusb's own timeout); it is already finished when this runs.
    virtual void discarded(const Transfer&) {}

    // The device was unplugged; no more calls follow.
    virtual void unplugged() {}
};

} // namespace zentrova::sim

#endif
