#include "zentrova/util/RuntimeError.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(RuntimeError, FormatsItsMessage)
{
    try {
        runtime_error("cannot open %s (slot %d)", "profile.zvmp", 3);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "cannot open profile.zvmp (slot 3)");
    }
}

TEST(RuntimeError, LongTextArrivesWhole)
{
    const std::string big(20000, 'x');
    try {
        runtime_error("[%s]%d", big.c_str(), 42);
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "[" + big + "]42");
    }
}

TEST(RuntimeError, ExitSuccessIsNotAStdException)
{
    bool caughtAsStd = false;
    unsigned int status = 99;
    try {
        try {
            exit_success();
        } catch (const std::exception&) {
            caughtAsStd = true;
        }
    } catch (unsigned int code) {
        status = code;
    }
    EXPECT_FALSE(caughtAsStd);
    EXPECT_EQ(status, 0u);
}

} // namespace
