#include "zentrova/util/RuntimeError.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(RuntimeError, FormatsItsMessageWhateverItsLength)
{
    const std::string big(20000, 'x');
    for (const std::string& arg : {std::string("profile.zvmp"), big}) {
        try {
            runtime_error("cannot open %s (slot %d)", arg.c_str(), 3);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "cannot open " + arg + " (slot 3)");
        }
    }
}

// exit_success throws 0 as an unsigned int: a std::exception escapes this
// test and fails it.
TEST(RuntimeError, ExitSuccessThrowsZeroAsAnUnsignedInt)
{
    try {
        exit_success();
    } catch (unsigned int code) {
        EXPECT_EQ(code, 0u);
        return;
    }
    ADD_FAILURE() << "nothing thrown";
}

} // namespace
