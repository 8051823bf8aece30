// A general-purpose simulated USB gadget for tests of the USB building
// blocks: descriptors chosen by the test (several configurations, class
// descriptors, deliberately malformed ones), bulk OUT and IN endpoints whose
// answers a test scripts URB by URB (short packets, stalls, bus errors, no
// answer, partial data before a timeout), and interrupt IN endpoints that
// deliver the packets a test injects.
#ifndef ZENTROVA_SIM_GADGETMODEL_H
#define ZENTROVA_SIM_GADGETMODEL_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/StandardDevice.h"
#include "sim/Testbed.h"

namespace zentrova::sim {

// --- Descriptor builders (bytes as on the wire) ---------------------------

struct EndpointSpec {
    uint8_t address = 0x81;     // with the direction bit
    uint8_t attributes = 0x02;  // 2 bulk, 3 interrupt
    uint16_t maxPacketSize = 512;
    uint8_t interval = 0;
};

struct InterfaceSpec {
    uint8_t number = 0;
    uint8_t alternate = 0;
    uint8_t interfaceClass = 0xFF; // vendor specific
    uint8_t subClass = 0;
    uint8_t protocol = 0;
    uint8_t iInterface = 0;
    // Class-specific descriptors placed right after the interface descriptor
    // (a HID descriptor, for instance), as raw bytes.
    std::vector<uint8_t> classDescriptors;
    std::vector<EndpointSpec> endpoints;
};

// A configuration descriptor followed by its interfaces and endpoints, with
// wTotalLength set to the sum and bNumInterfaces to the number of interfaces
// with alternate setting 0.
std::vector<uint8_t> configurationBytes(uint8_t configurationValue, const std::vector<InterfaceSpec>& interfaces,
                                        uint8_t attributes = 0x80, uint8_t maxPower = 50);

// A HID class descriptor announcing one report descriptor of `reportLength` bytes.
std::vector<uint8_t> hidDescriptorBytes(uint16_t reportLength);

// The plain vendor interface of the default gadget: bulk OUT 0x01, bulk IN
// 0x81 (512-byte packets) and interrupt IN 0x82 (64 bytes, every 1 ms).
InterfaceSpec vendorInterface(uint8_t number = 0);

// --- Scripted bulk answers -------------------------------------------------

// How the gadget answers one bulk URB. Unscripted URBs are accepted.
struct BulkAction {
    enum class Kind {
        Accept,   // OUT: takes everything; IN: delivers queued data (waits for some, as a NAK)
        Short,    // OUT: takes only `bytes`; IN: delivers at most `bytes` of the queued data
        Fail,     // finishes with `status` (a negative errno: -EPIPE stall, -EPROTO bus error, ...)
        NoAnswer, // never finishes; `bytes` have moved when the host discards it (IN: taken from the queue)
    };
    Kind kind = Kind::Accept;
    size_t bytes = 0;
    int status = 0;

    static BulkAction accept() { return {}; }
    static BulkAction shortOf(size_t n) { return {Kind::Short, n, 0}; }
    static BulkAction fail(int negativeErrno) { return {Kind::Fail, 0, negativeErrno}; }
    static BulkAction noAnswer(size_t movedBeforeDiscard = 0) { return {Kind::NoAnswer, movedBeforeDiscard, 0}; }
};

// One URB as the gadget saw it, in arrival order.
struct UrbLog {
    uint8_t endpoint = 0;
    uint8_t type = 0;       // USBDEVFS_URB_TYPE_BULK or _INTERRUPT
    size_t length = 0;      // bytes the host sent (OUT) or has room for (IN)
    bool discarded = false; // the host discarded it (cancellation or its own timeout)
};

struct GadgetConfig {
    DeviceDescriptorFields device = defaultDevice();
    // Configuration descriptors as answered to GET_DESCRIPTOR.
    std::vector<std::vector<uint8_t>> configurations = {configurationBytes(1, {vendorInterface()})};
    // What sysfs holds, where libusb reads descriptors at enumeration; empty:
    // the same as `configurations`. Set it when those are malformed on purpose.
    std::vector<std::vector<uint8_t>> sysfsConfigurations;
    std::map<uint8_t, std::string> strings = {{1, "Gadget Works"}, {2, "Loopback Gadget"}, {3, "GW-0001"}};

    static DeviceDescriptorFields defaultDevice()
    {
        DeviceDescriptorFields d;
        d.idVendor = 0x1209;
        d.idProduct = 0x0001;
        d.bcdDevice = 0x0100;
        d.iManufacturer = 1;
        d.iProduct = 2;
        d.iSerialNumber = 3;
        d.bNumConfigurations = 1;
        return d;
    }
};

class GadgetModel : public StandardDevice {
public:
    explicit GadgetModel(GadgetConfig config = GadgetConfig());

    std::vector<uint8_t> descriptors() const override;

    // Replaces the answer to GET_DESCRIPTOR(type, index): a stall, no
    // answer, or other bytes.
    void overrideDescriptor(uint8_t type, uint8_t index, ControlReply reply);

    // Bulk endpoints. Everything below is thread-safe.
    void script(uint8_t endpoint, std::vector<BulkAction> actions); // appended to what is left
    void queueIn(uint8_t endpoint, std::vector<uint8_t> message);   // one message; ends a transfer short
    std::vector<uint8_t> received(uint8_t endpoint) const;          // OUT bytes taken so far
    size_t queuedIn(uint8_t endpoint) const;                        // IN bytes not delivered yet

    // Interrupt IN endpoints: each packet finishes one URB (cut to its size);
    // packets wait in a queue while no URB is pending. A scripted Fail
    // finishes the next interrupt URB with its status; other actions are
    // ignored there.
    void inject(uint8_t endpoint, std::vector<uint8_t> packet);
    size_t queuedPackets(uint8_t endpoint) const;

    // URBs not finished yet (parked NoAnswer, waiting IN or interrupt URBs).
    size_t pending(uint8_t endpoint) const;
    std::vector<UrbLog> urbs(uint8_t endpoint) const;
    size_t discards() const;

    // Waits until `done()` holds (checked under the model's lock after
    // every change) or `timeout` passes; returns whether it held.
    bool waitUntil(const std::function<bool(const GadgetModel&)>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    void transfer(const std::shared_ptr<Transfer>& t) override;
    void discarded(const Transfer& t) override;

protected:
    ControlReply standardRequest(const SetupPacket& setup, const std::vector<uint8_t>& out) override;

private:
    struct Endpoint {
        std::deque<BulkAction> actions;
        std::deque<std::vector<uint8_t>> inQueue; // IN messages or interrupt packets
        std::deque<std::shared_ptr<Transfer>> waiting; // IN URBs waiting for data
        std::vector<std::shared_ptr<Transfer>> parked; // NoAnswer
        std::vector<uint8_t> received;
    };

    // Under `mutex`.
    std::vector<uint8_t> takeIn(Endpoint& ep, size_t room);
    void serveWaiting(Endpoint& ep, bool interrupt);
    void changed() { cond.notify_all(); }

    const GadgetConfig cfg;
    mutable std::mutex mutex;
    mutable std::condition_variable cond;
    std::map<uint16_t, ControlReply> descriptorOverrides; // (type << 8) | index
    std::map<uint8_t, Endpoint> endpoints;
    std::vector<UrbLog> log;
    size_t discardCount = 0;
};

// Adds a gadget to `testbed` and returns its model.
std::shared_ptr<GadgetModel> addGadget(Testbed& testbed, GadgetConfig config = GadgetConfig());

} // namespace zentrova::sim

#endif
