#include "sim/GadgetModel.h"

#include <linux/usbdevice_fs.h>

#include <algorithm>

namespace zentrova::sim {

namespace {

constexpr uint8_t GET_DESCRIPTOR = 0x06;

void putLe16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

std::vector<std::vector<uint8_t>> sysfsOf(const GadgetConfig& c)
{
    return c.sysfsConfigurations.empty() ? c.configurations : c.sysfsConfigurations;
}

} // namespace

std::vector<uint8_t> configurationBytes(uint8_t configurationValue, const std::vector<InterfaceSpec>& interfaces,
                                        uint8_t attributes, uint8_t maxPower)
{
    std::vector<uint8_t> body;
    uint8_t numInterfaces = 0;
    for (const auto& i : interfaces) {
        if (i.alternate == 0)
            ++numInterfaces;
        body.insert(body.end(), {9, 4, i.number, i.alternate, static_cast<uint8_t>(i.endpoints.size()),
                                 i.interfaceClass, i.subClass, i.protocol, i.iInterface});
        body.insert(body.end(), i.classDescriptors.begin(), i.classDescriptors.end());
        for (const auto& e : i.endpoints) {
            body.insert(body.end(), {7, 5, e.address, e.attributes});
            putLe16(body, e.maxPacketSize);
            body.push_back(e.interval);
        }
    }
    std::vector<uint8_t> c{9, 2};
    putLe16(c, static_cast<uint16_t>(9 + body.size()));
    c.insert(c.end(), {numInterfaces, configurationValue, 0, attributes, maxPower});
    c.insert(c.end(), body.begin(), body.end());
    return c;
}

std::vector<uint8_t> hidDescriptorBytes(uint16_t reportLength)
{
    std::vector<uint8_t> d{9, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22};
    putLe16(d, reportLength);
    return d;
}

InterfaceSpec vendorInterface(uint8_t number)
{
    InterfaceSpec i;
    i.number = number;
    i.endpoints = {{0x01, 0x02, 512, 0}, {0x81, 0x02, 512, 0}, {0x82, 0x03, 64, 1}};
    return i;
}

GadgetModel::GadgetModel(GadgetConfig config)
    : StandardDevice(deviceDescriptorBytes(config.device), config.configurations, config.strings),
      cfg(std::move(config))
{
}

std::vector<uint8_t> GadgetModel::descriptors() const
{
    // libusb parses these at enumeration: keep them consistent whatever the
    // wire answers are.
    const auto configs = sysfsOf(cfg);
    DeviceDescriptorFields fields = cfg.device;
    fields.bNumConfigurations = static_cast<uint8_t>(configs.size());
    std::vector<uint8_t> all = deviceDescriptorBytes(fields);
    for (const auto& c : configs)
        all.insert(all.end(), c.begin(), c.end());
    return all;
}

void GadgetModel::overrideDescriptor(uint8_t type, uint8_t index, ControlReply reply)
{
    std::lock_guard<std::mutex> lock(mutex);
    descriptorOverrides[static_cast<uint16_t>(type << 8 | index)] = std::move(reply);
}

ControlReply GadgetModel::standardRequest(const SetupPacket& setup, const std::vector<uint8_t>& out)
{
    if (setup.bRequest == GET_DESCRIPTOR && setup.isIn()) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = descriptorOverrides.find(setup.wValue);
        if (it != descriptorOverrides.end())
            return it->second;
    }
    return StandardDevice::standardRequest(setup, out);
}

void GadgetModel::script(uint8_t endpoint, std::vector<BulkAction> actions)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto& ep = endpoints[endpoint];
    ep.actions.insert(ep.actions.end(), actions.begin(), actions.end());
}

void GadgetModel::queueIn(uint8_t endpoint, std::vector<uint8_t> message)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto& ep = endpoints[endpoint];
    ep.inQueue.push_back(std::move(message));
    serveWaiting(ep, false);
    changed();
}

void GadgetModel::inject(uint8_t endpoint, std::vector<uint8_t> packet)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto& ep = endpoints[endpoint];
    ep.inQueue.push_back(std::move(packet));
    serveWaiting(ep, true);
    changed();
}

std::vector<uint8_t> GadgetModel::takeIn(Endpoint& ep, size_t room)
{
    std::vector<uint8_t> data;
    if (ep.inQueue.empty())
        return data;
    auto& head = ep.inQueue.front();
    const size_t n = std::min(room, head.size());
    data.assign(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(n));
    head.erase(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(n));
    if (head.empty())
        ep.inQueue.pop_front();
    return data;
}

// Bulk: a message ends a transfer when it runs out (a short packet) or fills
// it. Interrupt: one packet per URB, the rest of a long packet dropped.
void GadgetModel::serveWaiting(Endpoint& ep, bool interrupt)
{
    while (!ep.waiting.empty() && !ep.inQueue.empty()) {
        auto t = ep.waiting.front();
        ep.waiting.pop_front();
        if (t->finished())
            continue;
        std::vector<uint8_t> data;
        if (interrupt) {
            data = std::move(ep.inQueue.front());
            ep.inQueue.pop_front();
            if (data.size() > t->length())
                data.resize(t->length());
        } else {
            data = takeIn(ep, t->length());
        }
        t->complete(0, std::move(data));
    }
}

void GadgetModel::transfer(const std::shared_ptr<Transfer>& t)
{
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back({t->endpoint(), t->type(), t->length(), false});
    auto& ep = endpoints[t->endpoint()];
    changed();

    if (t->type() == USBDEVFS_URB_TYPE_INTERRUPT) {
        if (!t->isIn()) {
            t->complete(0);
            return;
        }
        if (!ep.actions.empty() && ep.actions.front().kind == BulkAction::Kind::Fail) {
            t->complete(ep.actions.front().status);
            ep.actions.pop_front();
            return;
        }
        ep.waiting.push_back(t);
        serveWaiting(ep, true);
        return;
    }

    BulkAction action;
    if (!ep.actions.empty()) {
        action = ep.actions.front();
        ep.actions.pop_front();
    }
    const auto& out = t->outData();
    switch (action.kind) {
    case BulkAction::Kind::Accept:
        if (t->isIn()) {
            ep.waiting.push_back(t);
            serveWaiting(ep, false);
        } else {
            ep.received.insert(ep.received.end(), out.begin(), out.end());
            t->complete(0);
        }
        break;
    case BulkAction::Kind::Short:
        if (t->isIn()) {
            t->complete(0, takeIn(ep, std::min(action.bytes, t->length())));
        } else {
            const size_t n = std::min(action.bytes, out.size());
            ep.received.insert(ep.received.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
            t->completeOut(0, n);
        }
        break;
    case BulkAction::Kind::Fail:
        t->complete(action.status);
        break;
    case BulkAction::Kind::NoAnswer:
        if (t->isIn()) {
            t->setPartial(takeIn(ep, std::min(action.bytes, t->length())), 0);
        } else {
            const size_t n = std::min(action.bytes, out.size());
            ep.received.insert(ep.received.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
            t->setPartial({}, n);
        }
        ep.parked.push_back(t);
        break;
    }
}

void GadgetModel::discarded(const Transfer& t)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++discardCount;
    auto& ep = endpoints[t.endpoint()];
    auto same = [&t](const std::shared_ptr<Transfer>& p) { return p.get() == &t; };
    ep.waiting.erase(std::remove_if(ep.waiting.begin(), ep.waiting.end(), same), ep.waiting.end());
    ep.parked.erase(std::remove_if(ep.parked.begin(), ep.parked.end(), same), ep.parked.end());
    // The log holds no transfer identities: mark the latest matching URB.
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
        if (it->endpoint == t.endpoint() && !it->discarded) {
            it->discarded = true;
            break;
        }
    }
    changed();
}

std::vector<uint8_t> GadgetModel::received(uint8_t endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = endpoints.find(endpoint);
    return it == endpoints.end() ? std::vector<uint8_t>{} : it->second.received;
}

size_t GadgetModel::queuedIn(uint8_t endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = endpoints.find(endpoint);
    size_t n = 0;
    if (it != endpoints.end())
        for (const auto& m : it->second.inQueue)
            n += m.size();
    return n;
}

size_t GadgetModel::queuedPackets(uint8_t endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = endpoints.find(endpoint);
    return it == endpoints.end() ? 0 : it->second.inQueue.size();
}

size_t GadgetModel::pending(uint8_t endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = endpoints.find(endpoint);
    if (it == endpoints.end())
        return 0;
    size_t n = 0;
    for (const auto& t : it->second.waiting)
        n += t->finished() ? 0 : 1;
    for (const auto& t : it->second.parked)
        n += t->finished() ? 0 : 1;
    return n;
}

std::vector<UrbLog> GadgetModel::urbs(uint8_t endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<UrbLog> result;
    for (const auto& u : log)
        if (u.endpoint == endpoint)
            result.push_back(u);
    return result;
}

size_t GadgetModel::discards() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return discardCount;
}

bool GadgetModel::waitUntil(const std::function<bool(const GadgetModel&)>& done,
                            std::chrono::milliseconds timeout) const
{
    // `done` calls the locking observers, so test it without the lock and
    // use the lock only to sleep until the next change.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(*this)) {
        std::unique_lock<std::mutex> lock(mutex);
        if (cond.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20))) ==
                std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline)
            return done(*this);
    }
    return true;
}

std::shared_ptr<GadgetModel> addGadget(Testbed& testbed, GadgetConfig config)
{
    auto gadget = std::make_shared<GadgetModel>(std::move(config));
    testbed.addDevice(gadget);
    return gadget;
}

} // namespace zentrova::sim
