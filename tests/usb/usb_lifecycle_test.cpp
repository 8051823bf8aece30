// The driver's life cycle and its event thread (run under ThreadSanitizer
// in CI): fast shutdown, concurrent use and an idle event thread that sleeps.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "support/SimFixture.h"
#include "zentrova/device/ZentrovaDriver.h"

using Clock = std::chrono::steady_clock;
using zentrova::sim::MouseConfig;

namespace {

// One full use of a mouse: construct, find, open, ask its ID, close, destroy.
unsigned lifeCycle(bool right)
{
    ZentrovaDriver driver;
    driver.rightMouse = right;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    if (devices.size() != 1)
        return 0xFFFF;
    driver.open(devices[0]);
    const unsigned id = driver.getMouseId();
    driver.close();
    return id;
}

} // namespace

TEST_F(SimTest, DestructionDoesNotWaitForTheEventTimeout)
{
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
        auto driver = std::make_unique<ZentrovaDriver>();
        // Every other driver goes at once; the rest let the event thread
        // settle into its 50 ms wait first.
        if (i % 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto start = Clock::now();
        driver.reset();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    // Waking the thread makes this well under a millisecond or two; waiting
    // for the timeout would take 45 ms on average.
    EXPECT_LT(ms[ms.size() / 2], 20.0) << "median destruction time in ms";
}

TEST_F(SimTest, LifeCyclesOnSeveralThreadsAtOnce)
{
    auto right = addMouse(MouseConfig::right());
    auto left = addMouse(MouseConfig::left());
    std::atomic<int> failures{0};
    auto worker = [&failures](bool hand) {
        for (int i = 0; i < 8; ++i) {
            try {
                if (lifeCycle(hand) != (hand ? 0u : 1u))
                    ++failures;
            } catch (const std::exception&) {
                ++failures;
            }
        }
    };
    std::thread a(worker, true), b(worker, false);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(right->vendorTranscript().size(), 16u); // ID and status, eight times
    EXPECT_EQ(left->vendorTranscript().size(), 16u);
}

TEST_F(SimTest, IdleEventThreadSleeps)
{
    addMouse();
    ZentrovaDriver driver;
    driver.rightMouse = true;
    openOnly(driver);
    const std::clock_t before = std::clock(); // CPU time of all threads
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double used = double(std::clock() - before) / CLOCKS_PER_SEC;
    // A loop that never blocks in poll() burns most of a core here.
    EXPECT_LT(used, 0.05) << "CPU seconds used while idle for 0.5 s";
    EXPECT_EQ(driver.getMouseId(), 0);
}
