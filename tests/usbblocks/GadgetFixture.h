// Tests of the USB building blocks against simulated gadgets (sim/GadgetModel.h)
// through the real libusb: a device class for the gadget and fixtures that
// attach gadgets and open one.
#ifndef ZENTROVA_TESTS_USBBLOCKS_GADGETFIXTURE_H
#define ZENTROVA_TESTS_USBBLOCKS_GADGETFIXTURE_H

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/GadgetModel.h"
#include "support/SimFixture.h"
#include "zentrova/usb/UsbDriver.h"

// A device class for gadgets with the default IDs (0x1209:0x0001).
class GadgetDriver : public virtual UsbDriver {
public:
    ~GadgetDriver() override { close(); }
    void find(std::vector<UsbDeviceInfo>& devices) override { findByVidPid(devices, 0x1209, 0x0001); }

protected:
    void open_callback() override {}
    void close_callback() override {}
};

class GadgetTest : public SimTest {
protected:
    void TearDown() override
    {
        ownDriver.reset();
        SimTest::TearDown();
    }

    // Created on first use, once the bus is complete.
    GadgetDriver& driver()
    {
        if (!ownDriver)
            ownDriver = std::make_unique<GadgetDriver>();
        return *ownDriver;
    }

    // Replaces the testbed (and the driver) by an empty one.
    void freshBus()
    {
        ownDriver.reset();
        testbed.reset();
        testbed = std::make_unique<zentrova::sim::Testbed>();
    }

    // Attaches a gadget and opens it on driver().
    std::shared_ptr<zentrova::sim::GadgetModel> openGadget(zentrova::sim::GadgetConfig config = {})
    {
        auto model = zentrova::sim::addGadget(*testbed, std::move(config));
        openOnly(driver());
        EXPECT_TRUE(driver().isOpened());
        return model;
    }

    // Waits up to 5 s for `done` (checked after every change of the gadget).
    bool waitFor(const std::function<bool()>& done)
    {
        return gadget->waitUntil([&](const zentrova::sim::GadgetModel&) { return done(); });
    }

    std::shared_ptr<zentrova::sim::GadgetModel> gadget; // set by OpenGadgetTest

private:
    std::unique_ptr<GadgetDriver> ownDriver;
};

// The default gadget, open.
class OpenGadgetTest : public GadgetTest {
protected:
    void SetUp() override
    {
        GadgetTest::SetUp();
        gadget = openGadget();
    }
};

#endif
