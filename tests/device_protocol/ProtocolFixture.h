// A ZentrovaDriver opened on one simulated mouse, and the vendor requests
// the mouse received, in a form that compares well.
#ifndef ZENTROVA_TESTS_PROTOCOLFIXTURE_H
#define ZENTROVA_TESTS_PROTOCOLFIXTURE_H

#include <tuple>
#include <vector>

#include "support/SimFixture.h"
#include "zentrova/device/ZentrovaDriver.h"

// One vendor request as it travelled: bmRequestType, bRequest, wIndex,
// wLength and the OUT data stage.
using Req = std::tuple<uint8_t, uint8_t, uint16_t, uint16_t, std::vector<uint8_t>>;

inline Req status() { return {0xC0, ZENTROVA_CTRL_REQUEST_STATUS, 0, 1, {}}; }
inline Req reset() { return {0x40, ZENTROVA_CTRL_REQUEST_RESET, 0, 0, {}}; }
inline Req out(uint8_t request, uint16_t index = 0, std::vector<uint8_t> data = {})
{
    return {0x40, request, index, static_cast<uint16_t>(data.size()), std::move(data)};
}
inline Req in(uint8_t request, uint16_t index, uint16_t length) { return {0xC0, request, index, length, {}}; }

// Reset and handshake, then the command and its handshake.
inline std::vector<Req> framed(const Req& command) { return {reset(), status(), command, status()}; }

inline std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    return v;
}

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
            n += std::get<1>(r) == ZENTROVA_CTRL_REQUEST_STATUS;
        return n;
    }

    std::shared_ptr<zentrova::sim::MouseModel> mouse;
    std::unique_ptr<TestDriver> driver;
};

#endif
