#include "zentrova/util/RuntimeError.h"

#include <stdexcept>
#include <string>

#include <gmock/gmock.h>

namespace {

TEST(RuntimeError, FormatsItsMessageWhateverItsLength)
{
    for (const std::string& arg : {std::string("profile.zvmp"), std::string(20000, 'x')})
        EXPECT_THAT([&] { runtime_error("cannot open %s (slot %d)", arg.c_str(), 3); },
                    testing::ThrowsMessage<std::runtime_error>("cannot open " + arg + " (slot 3)"));
}

} // namespace
