// main() for GoogleTest executables that use simulated devices: runs the
// tests under the umockdev preload (re-executing itself when needed).
#include <sys/prctl.h>

#include <gtest/gtest.h>

#include "sim/Preload.h"

int main(int argc, char** argv)
{
    zentrova::sim::ensurePreload(argv);
    // The preload sleeps after every emulated ioctl; a small timer slack
    // keeps that sleep short. Set before any thread starts.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
