// Tests of the USB building blocks against simulated gadgets (sim/GadgetModel.h)
// through the real libusb: a device class for the gadget and a fixture that
// attaches gadgets and opens one.
#ifndef ZENTROVA_TESTS_USBBLOCKS_GADGETFIXTURE_H
#define ZENTROVA_TESTS_USBBLOCKS_GADGETFIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/GadgetModel.h"
#include "usb/SimFixture.h"
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
    std::shared_ptr<zentrova::sim::GadgetModel> addGadget(zentrova::sim::GadgetConfig config = {})
    {
        return zentrova::sim::addGadget(*testbed, std::move(config));
    }

    // Replaces the testbed by an empty one (one testbed at a time).
    void freshBus()
    {
        testbed.reset();
        testbed = std::make_unique<zentrova::sim::Testbed>();
    }

    // Opens the only gadget on `driver`.
    void openGadget(UsbDriver& d)
    {
        std::vector<UsbDeviceInfo> devices;
        d.find(devices);
        ASSERT_EQ(devices.size(), 1u);
        d.open(devices[0]);
        ASSERT_TRUE(d.isOpened());
    }
};

// The message of the UsbException that `f` throws, or "(nothing thrown)".
template <typename F>
std::string usbErrorOf(F&& f)
{
    try {
        f();
    } catch (const UsbException& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

#endif
