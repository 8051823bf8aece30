#include "sim/MouseModel.h"

#include <algorithm>

#include "sim/MouseProtocol.h"

namespace zentrova::sim {

namespace {

uint16_t productIdOf(const MouseConfig& c)
{
    if (c.productId)
        return c.productId;
    return c.rightHand ? protocol::kProductRight : protocol::kProductLeft;
}

std::vector<uint8_t> deviceDescriptorOf(const MouseConfig& c)
{
    DeviceDescriptorFields f;
    f.idVendor = c.vendorId;
    f.idProduct = productIdOf(c);
    f.bcdDevice = c.bcdDevice;
    f.iManufacturer = c.iManufacturer;
    f.iProduct = c.iProduct;
    f.iSerialNumber = c.iSerialNumber;
    return deviceDescriptorBytes(f);
}

// One configuration: a boot-protocol HID mouse interface with its HID
// descriptor and one interrupt IN endpoint.
std::vector<uint8_t> configurationOf()
{
    return {
        0x09, 0x02, 0x22, 0x00, 0x01, 0x01, 0x00, 0xA0, 0x32, // configuration, wTotalLength 34
        0x09, 0x04, 0x00, 0x00, 0x01, 0x03, 0x01, 0x02, 0x00, // interface 0: HID, boot, mouse
        0x09, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 0x34, 0x00, // HID 1.11, report descriptor 52 bytes
        0x07, 0x05, 0x81, 0x03, 0x08, 0x00, 0x01,             // endpoint 0x81, interrupt, 8 bytes, 1 ms
    };
}

std::map<uint8_t, std::string> stringsOf(const MouseConfig& c)
{
    std::map<uint8_t, std::string> s;
    const char* hand = c.rightHand ? "right" : "left";
    if (c.iManufacturer)
        s[c.iManufacturer] = c.manufacturer;
    if (c.iProduct)
        s[c.iProduct] = c.product.empty() ? std::string("Zentrova Mouse (") + hand + " hand)" : c.product;
    if (c.iSerialNumber)
        s[c.iSerialNumber] = c.serialNumber.empty() ? std::string(c.rightHand ? "ZV-R-0001" : "ZV-L-0001")
                                                    : c.serialNumber;
    return s;
}

std::vector<uint8_t> le32(uint32_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// Answered by the bad-status fault: neither ready, busy nor error.
constexpr uint8_t kUndefinedStatus = 0x5A;

constexpr uint8_t kGetDescriptor = 6, kStringDescriptor = 3;

// Requests that carry an answer travel device to host.
bool expectsIn(uint8_t request)
{
    return request == protocol::kStatus || request == protocol::kMouseId ||
           request == protocol::kDfuStart || request == protocol::kProfileStart;
}

} // namespace

std::string profileImageName(const std::vector<uint8_t>& image)
{
    constexpr size_t offset = 9, maxLength = 31;
    std::string name;
    for (size_t i = offset; i < image.size() && i < offset + maxLength && image[i]; ++i)
        name += static_cast<char>(image[i]);
    return name;
}

MouseModel::MouseModel(const MouseConfig& config)
    : StandardDevice(deviceDescriptorOf(config), {configurationOf()}, stringsOf(config)),
      cfg(config),
      faults(config.faults)
{
}

uint8_t MouseModel::mouseIdByte() const
{
    if (cfg.mouseId >= 0)
        return static_cast<uint8_t>(cfg.mouseId);
    return cfg.rightHand ? protocol::kMouseIdRight : protocol::kMouseIdLeft;
}

MouseState MouseModel::state() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return st;
}

std::vector<ControlRecord> MouseModel::transcript() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return records;
}

std::vector<ControlRecord> MouseModel::vendorTranscript() const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<ControlRecord> v;
    std::copy_if(records.begin(), records.end(), std::back_inserter(v),
                 [](const ControlRecord& r) { return r.setup.isVendor(); });
    return v;
}

void MouseModel::clearTranscript()
{
    std::lock_guard<std::mutex> lock(mutex);
    records.clear();
    vendorCount = 0;
    statusFaultArmed = true;
}

void MouseModel::setFaults(const MouseFaults& f)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults = f;
    statusFaultArmed = true;
    pollsSinceCommand = 0;
}

bool MouseModel::unpluggedFlag() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return gone;
}

void MouseModel::unplugged()
{
    std::lock_guard<std::mutex> lock(mutex);
    gone = true;
}

ControlReply MouseModel::control(const SetupPacket& setup, const std::vector<uint8_t>& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    ControlReply reply;
    if (setup.isVendor()) {
        const unsigned k = ++vendorCount;
        if (faults.unplugAt == k)
            reply = ControlReply::unplug();
        else if (faults.stallAt == k)
            reply = ControlReply::stall();
        else if (faults.noAnswerAt == k)
            reply = ControlReply::noAnswer();
        else if (faults.badStatusAt == k && setup.bRequest == protocol::kStatus && setup.isIn())
            reply = ControlReply::answer({kUndefinedStatus});
        else
            reply = vendor(setup, out);
        if (faults.shortAnswerAt == k && reply.kind == ControlReply::Kind::Answer) {
            if (setup.isIn()) {
                const size_t full = std::min<size_t>(reply.data.size(), setup.wLength);
                reply.data.resize(full > 0 ? full - 1 : 0);
            } else {
                reply.accepted = out.empty() ? 0 : out.size() - 1;
            }
        }
    } else if (faults.stringReads != ControlReply::Kind::Answer && setup.bRequest == kGetDescriptor &&
               setup.wValue >> 8 == kStringDescriptor) {
        reply.kind = faults.stringReads;
    } else {
        reply = StandardDevice::control(setup, out);
    }

    ControlRecord record;
    record.setup = setup;
    record.data = out;
    switch (reply.kind) {
    case ControlReply::Kind::Answer:
        if (setup.isIn()) {
            if (reply.data.size() > setup.wLength)
                reply.data.resize(setup.wLength);
            record.answer = reply.data;
        }
        record.outcome = ControlRecord::Outcome::Answered;
        break;
    case ControlReply::Kind::Stall:
        record.outcome = ControlRecord::Outcome::Stalled;
        break;
    case ControlReply::Kind::NoAnswer:
        record.outcome = ControlRecord::Outcome::NoAnswer;
        break;
    case ControlReply::Kind::Unplug:
        record.outcome = ControlRecord::Outcome::Unplugged;
        break;
    }
    records.push_back(std::move(record));
    return reply;
}

ControlReply MouseModel::status()
{
    if (pollsSinceCommand < faults.busyPolls) {
        ++pollsSinceCommand;
        return ControlReply::answer({protocol::kStatusBusy});
    }
    if (pendingError) {
        pendingError = false;
        ++st.statusErrors;
        return ControlReply::answer({protocol::kStatusError});
    }
    if (faults.statusErrorAfter && statusFaultArmed && vendorCount > faults.statusErrorAfter) {
        statusFaultArmed = false;
        ++st.statusErrors;
        return ControlReply::answer({protocol::kStatusError});
    }
    return ControlReply::answer({0});
}

// The mouse's side of the protocol. Protocol violations (a chunk outside an
// upload, a slot that does not exist, an image beyond the announced limit, a
// record of the wrong length) make the next STATUS poll answer 2.
ControlReply MouseModel::vendor(const SetupPacket& setup, const std::vector<uint8_t>& out)
{
    if (setup.isIn() != expectsIn(setup.bRequest))
        return ControlReply::stall();
    if (setup.bRequest == protocol::kStatus)
        return status();
    pollsSinceCommand = 0; // every other request starts a new handshake

    const auto slotValid = [this](unsigned slot) { return slot >= 1 && slot <= cfg.slotLimits.size(); };
    const auto append = [this, &out](Upload kind) {
        if (upload != kind || received.size() + out.size() > uploadLimit) {
            upload = Upload::None;
            pendingError = true;
            return;
        }
        received.insert(received.end(), out.begin(), out.end());
    };

    switch (setup.bRequest) {
    case protocol::kReset:
        ++st.resets;
        upload = Upload::None;
        received.clear();
        return ControlReply::answer();
    case protocol::kMouseId:
        return ControlReply::answer({mouseIdByte()});
    case protocol::kDfuStart:
        upload = Upload::Dfu;
        uploadLimit = cfg.dfuMaxSize;
        received.clear();
        return ControlReply::answer(le32(cfg.dfuMaxSize));
    case protocol::kDfuUpload:
        append(Upload::Dfu);
        return ControlReply::answer();
    case protocol::kDfuEnd:
        if (upload != Upload::Dfu) {
            pendingError = true;
        } else {
            st.firmware = std::move(received);
            st.firmwareReceived = true;
            received.clear();
            upload = Upload::None;
        }
        return ControlReply::answer();
    case protocol::kProfileStart:
        received.clear();
        if (!slotValid(setup.wIndex)) {
            upload = Upload::None;
            pendingError = true;
            return ControlReply::answer(le32(0));
        }
        upload = Upload::Profile;
        uploadSlot = setup.wIndex;
        uploadLimit = cfg.slotLimits[uploadSlot - 1];
        return ControlReply::answer(le32(uploadLimit));
    case protocol::kProfileUpload:
        append(Upload::Profile);
        return ControlReply::answer();
    case protocol::kProfileEnd:
        if (upload != Upload::Profile) {
            pendingError = true;
        } else {
            st.slots[uploadSlot] = std::move(received);
            received.clear();
            upload = Upload::None;
        }
        return ControlReply::answer();
    case protocol::kProfileRemove:
        if (slotValid(setup.wIndex))
            st.slots.erase(setup.wIndex);
        else
            pendingError = true;
        return ControlReply::answer();
    case protocol::kProfileActivate:
        if (slotValid(setup.wIndex))
            st.activeSlot = setup.wIndex;
        else
            pendingError = true;
        return ControlReply::answer();
    case protocol::kLedColor:
        if (out.size() != st.ledColor.size()) {
            pendingError = true;
        } else {
            std::copy(out.begin(), out.end(), st.ledColor.begin());
            st.ledColorSet = true;
        }
        return ControlReply::answer();
    case protocol::kLedProgram:
        st.ledProgram = setup.wIndex;
        st.ledProgramSet = true;
        return ControlReply::answer();
    case protocol::kRunProgram:
        if (setup.wIndex > 64)
            pendingError = true;
        else
            st.lastProgram = setup.wIndex;
        return ControlReply::answer();
    case protocol::kLedParams:
        if (out.size() != st.ledParams.size()) {
            pendingError = true;
        } else {
            std::copy(out.begin(), out.end(), st.ledParams.begin());
            st.ledParamsSet = true;
        }
        return ControlReply::answer();
    case protocol::kPollingRate:
        st.pollingRate = setup.wIndex;
        return ControlReply::answer();
    default:
        return ControlReply::stall();
    }
}

std::shared_ptr<MouseModel> addMouse(Testbed& testbed, const MouseConfig& config)
{
    auto mouse = std::make_shared<MouseModel>(config);
    testbed.addDevice(mouse);
    return mouse;
}

} // namespace zentrova::sim
