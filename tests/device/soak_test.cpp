// 10,000 operations in one process through the Session API against a
// simulated mouse: resident memory and open descriptors at the end are those
// of the start. A fresh Session every 100 operations, so that opening and
// closing are soaked too. The first 11,000 operations warm the allocator, GLib
// and libusb up before the start figures are taken: the heap (the simulator's
// GLib caches share the process) touches new pages for about that long (runs
// after a warm-up of 1,000 grew 16 to 48 KiB; a run of 20,000 grew in its
// first 11,000 operations and not in the other 9,000). The end may be up to
// 8 pages above the start: a leak of 4 bytes per operation would already be 10.
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "support/ProcessCounts.h"
#include "support/ProfileImage.h"
#include "support/SimFixture.h"
#include "zentrova/device/Session.h"

using namespace zentrova;

namespace {

class Soak : public SimTest {};

TEST_F(Soak, TenThousandOperationsLeaveMemoryAndDescriptorsAsTheyWere)
{
    auto mouse = addMouse();
    testimg::ProfileImage img;
    img.programs = {{1, testimg::pattern(300, 1)}};
    const std::vector<uint8_t> image = img.bytes();
    const std::function<Result(Session&, unsigned)> operations[] = {
        [](Session& s, unsigned) { return s.check(); },
        [](Session& s, unsigned i) { return s.activateProfile(static_cast<uint8_t>(1 + i % 8)); },
        [](Session& s, unsigned i) { return s.setLed({i << 8, static_cast<int>(i % 3), 255, 128}); },
        [](Session& s, unsigned i) { return s.setPollingRate(static_cast<uint8_t>(1 + i % 4)); },
        [](Session& s, unsigned i) { return s.runProgram(i % 65); },
        [&](Session& s, unsigned i) { return s.uploadProfile(static_cast<uint8_t>(1 + i % 8), image); },
    };
    constexpr unsigned kOperations = 10000, kPerSession = 100, kWarmUp = 110;
    size_t startRss = 0, startFds = 0;
    unsigned failed = 0;
    for (unsigned round = 0, i = 0; round < kWarmUp + kOperations / kPerSession; ++round) {
        if (round == kWarmUp) {
            startRss = testsupport::residentBytes();
            startFds = testsupport::openDescriptors();
        }
        Session session;
        ASSERT_TRUE(Session::open(Selector{}, session));
        for (unsigned n = 0; n < kPerSession; ++n, ++i)
            failed += !operations[i % std::size(operations)](session, i);
        mouse->clearTranscript(); // the model's record of requests is not ours to count
    }
    const bool fdsBack = testsupport::settlesWithin(startFds, [] { return testsupport::openDescriptors(); });
    const size_t endRss = testsupport::residentBytes(), endFds = testsupport::openDescriptors();
    std::printf("soak: %u operations, RSS %zu -> %zu KiB, open descriptors %zu -> %zu\n", kOperations,
                startRss / 1024, endRss / 1024, startFds, endFds);
    EXPECT_EQ(failed, 0u);
    EXPECT_TRUE(fdsBack);
    EXPECT_LE(endRss, startRss + 8 * static_cast<size_t>(sysconf(_SC_PAGESIZE)));
}

} // namespace
