// Test fixture for code that talks to simulated mice through the real
// libusb: a fresh umockdev testbed per test, run in a private temporary
// directory (the drivers append to "driver.log" in the current directory).
#ifndef ZENTROVA_TESTS_SUPPORT_SIMFIXTURE_H
#define ZENTROVA_TESTS_SUPPORT_SIMFIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MouseModel.h"
#include "support/TempDir.h"
#include "sim/Testbed.h"
#include "zentrova/usb/UsbDriver.h"

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(work.dir.empty());
        workDir = work.dir;
        testbed = std::make_unique<zentrova::sim::Testbed>();
    }

    void TearDown() override { testbed.reset(); }

    std::shared_ptr<zentrova::sim::MouseModel> addMouse(const zentrova::sim::MouseConfig& config =
                                                            zentrova::sim::MouseConfig())
    {
        return zentrova::sim::addMouse(*testbed, config);
    }

    std::string driverLog() const { return work.text("driver.log"); }

    // Opens the one device that `driver` finds.
    static void openOnly(UsbDriver& driver)
    {
        std::vector<UsbDeviceInfo> devices;
        driver.find(devices);
        ASSERT_EQ(devices.size(), 1u);
        driver.open(devices[0]);
    }

    TempDir work{true};
    std::unique_ptr<zentrova::sim::Testbed> testbed;
    std::string workDir;
};

// The message of the exception of type E that `f` throws, or "(nothing thrown)".
template <typename E, typename F>
std::string failureOf(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

#endif
