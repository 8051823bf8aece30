// A ZentrovaDriver opened on one simulated mouse, and the vendor requests
// the mouse received, in a form that compares well.
#ifndef ZENTROVA_TESTS_PROTOCOLFIXTURE_H
#define ZENTROVA_TESTS_PROTOCOLFIXTURE_H

#include <cstdio>
#include <ostream>
#include <vector>

#include "usb/SimFixture.h"
#include "zentrova/device/ZentrovaDriver.h"

// One vendor request as it travelled.
struct Req {
    uint8_t type;
    uint8_t request;
    uint16_t index;
    uint16_t length;
    std::vector<uint8_t> data; // OUT data stage
    bool operator==(const Req& o) const
    {
        return type == o.type && request == o.request && index == o.index && length == o.length && data == o.data;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Req& r)
{
    char line[96];
    std::snprintf(line, sizeof line, "{type 0x%02x req 0x%02x wIndex 0x%04x wLength %u data %zu bytes}", r.type,
                  r.request, r.index, r.length, r.data.size());
    return os << line;
}

inline Req status() { return {0xC0, ZENTROVA_CTRL_REQUEST_STATUS, 0, 1, {}}; }
inline Req reset() { return {0x40, ZENTROVA_CTRL_REQUEST_RESET, 0, 0, {}}; }
inline Req out(uint8_t request, uint16_t index = 0, std::vector<uint8_t> data = {})
{
    return {0x40, request, index, static_cast<uint16_t>(data.size()), std::move(data)};
}
inline Req in(uint8_t request, uint16_t index, uint16_t length) { return {0xC0, request, index, length, {}}; }

// Reset and handshake, then the command and its handshake.
inline std::vector<Req> framed(const Req& command) { return {reset(), status(), command, status()}; }

// Exposes the protected handshake bound.
class TestDriver : public ZentrovaDriver {
public:
    void setStatusBound(unsigned ms) { statusBoundMs = ms; }
};

class ProtocolTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        if (HasFatalFailure())
            return;
        mouse = addMouse(mouseConfig());
        driver = std::make_unique<TestDriver>();
        driver->rightMouse = mouse->config().rightHand;
        openOnly(*driver);
        mouse->clearTranscript();
    }
    void TearDown() override
    {
        driver.reset();
        mouse.reset();
        SimTest::TearDown();
    }
    virtual zentrova::sim::MouseConfig mouseConfig() { return zentrova::sim::MouseConfig::right(); }

    // One fault (none: nullptr), its request counted from the next request on.
    void inject(unsigned zentrova::sim::MouseFaults::*fault, unsigned k = 0)
    {
        zentrova::sim::MouseFaults faults;
        if (fault)
            faults.*fault = k;
        mouse->clearTranscript();
        mouse->setFaults(faults);
    }

    std::vector<Req> requests() const
    {
        std::vector<Req> v;
        for (const auto& r : mouse->vendorTranscript())
            v.push_back({r.setup.bmRequestType, r.setup.bRequest, r.setup.wIndex, r.setup.wLength, r.data});
        return v;
    }
    size_t statusPolls() const
    {
        size_t n = 0;
        for (const auto& r : requests())
            n += r.request == ZENTROVA_CTRL_REQUEST_STATUS;
        return n;
    }

    std::shared_ptr<zentrova::sim::MouseModel> mouse;
    std::unique_ptr<TestDriver> driver;
};

#endif
