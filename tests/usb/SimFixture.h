// Test fixture for code that talks to simulated mice through the real
// libusb: a fresh umockdev testbed per test, run in a private temporary
// directory (the drivers append to "driver.log" in the current directory).
#ifndef ZENTROVA_TESTS_SIMFIXTURE_H
#define ZENTROVA_TESTS_SIMFIXTURE_H

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "sim/MouseModel.h"
#include "sim/Testbed.h"

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previousDir = cwd;
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrova-usb-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        workDir = pattern;
        ASSERT_EQ(chdir(workDir.c_str()), 0);
        testbed = std::make_unique<zentrova::sim::Testbed>();
    }

    void TearDown() override
    {
        testbed.reset();
        if (!previousDir.empty()) {
            EXPECT_EQ(chdir(previousDir.c_str()), 0);
        }
        std::error_code ignored;
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
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::unique_ptr<zentrova::sim::Testbed> testbed;
    std::string workDir;

private:
    std::string previousDir;
};

#endif
