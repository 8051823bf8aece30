// Test fixture for code that talks to simulated mice through the real
// libusb: a fresh umockdev testbed per test, run in a private temporary
// directory (the drivers append to "driver.log" in the current directory).
#ifndef ZENTROVA_TESTS_SUPPORT_SIMFIXTURE_H
#define ZENTROVA_TESTS_SUPPORT_SIMFIXTURE_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/MouseModel.h"
#include "sim/Testbed.h"
#include "zentrova/usb/UsbDriver.h"

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousDir = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrova-usb-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        workDir = pattern;
        std::filesystem::current_path(workDir);
        testbed = std::make_unique<zentrova::sim::Testbed>();
    }

    void TearDown() override
    {
        testbed.reset();
        std::error_code ignored;
        std::filesystem::current_path(previousDir, ignored);
        if (!workDir.empty())
            std::filesystem::remove_all(workDir, ignored);
    }

    std::shared_ptr<zentrova::sim::MouseModel> addMouse(const zentrova::sim::MouseConfig& config =
                                                            zentrova::sim::MouseConfig())
    {
        return zentrova::sim::addMouse(*testbed, config);
    }

    std::string driverLog() const
    {
        std::ifstream in(workDir + "/driver.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Opens the one device that `driver` finds.
    static void openOnly(UsbDriver& driver)
    {
        std::vector<UsbDeviceInfo> devices;
        driver.find(devices);
        ASSERT_EQ(devices.size(), 1u);
        driver.open(devices[0]);
    }

    std::unique_ptr<zentrova::sim::Testbed> testbed;
    std::string workDir;

private:
    std::filesystem::path previousDir;
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
