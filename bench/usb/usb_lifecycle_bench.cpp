// One driver life cycle against a simulated mouse on the real libusb:
// construct, find, open, getMouseId, close, destroy; and construct +
// destroy alone (bounded by how fast the event thread is woken, not by its
// 50 ms wait), beside libusb's own init + exit in the same run.
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <libusb.h>

#include "support/ratio_report.h"

#include "sim/MouseModel.h"
#include "sim/Preload.h"
#include "sim/Testbed.h"
#include "zentrova/device/ZentrovaDriver.h"

namespace {

zentrova::sim::Testbed* testbed = nullptr;

void BM_ConstructDestroy(benchmark::State& state)
{
    for (auto _ : state) {
        ZentrovaDriver driver;
        benchmark::DoNotOptimize(&driver);
    }
}
BENCHMARK(BM_ConstructDestroy)->Unit(benchmark::kMillisecond);

// What a driver cannot avoid: a libusb context of its own.
void BM_LibusbInitExit(benchmark::State& state)
{
    for (auto _ : state) {
        libusb_context* context = nullptr;
        if (libusb_init(&context) != 0) {
            state.SkipWithError("libusb_init failed");
            break;
        }
        libusb_exit(context);
    }
}
BENCHMARK(BM_LibusbInitExit)->Unit(benchmark::kMillisecond);

// Destruction alone, once the event thread sits in its 50 ms wait.
void BM_DestroyWhileWaiting(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto driver = std::make_unique<ZentrovaDriver>();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        state.ResumeTiming();
        driver.reset();
    }
}
BENCHMARK(BM_DestroyWhileWaiting)->Unit(benchmark::kMillisecond);

void BM_LifeCycle(benchmark::State& state)
{
    for (auto _ : state) {
        ZentrovaDriver driver;
        driver.rightMouse = true;
        std::vector<UsbDeviceInfo> devices;
        driver.find(devices);
        if (devices.empty()) {
            state.SkipWithError("no simulated mouse found");
            break;
        }
        driver.open(devices[0]);
        benchmark::DoNotOptimize(driver.getMouseId());
        driver.close();
    }
}
BENCHMARK(BM_LifeCycle)->Unit(benchmark::kMillisecond);

void BM_ActivateProfile(benchmark::State& state)
{
    ZentrovaDriver driver;
    driver.rightMouse = true;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    if (devices.empty()) {
        state.SkipWithError("no simulated mouse found");
        return;
    }
    driver.open(devices[0]);
    for (auto _ : state)
        driver.activeProfile(1); // reset, status, command, status
}
BENCHMARK(BM_ActivateProfile)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    zentrova::sim::ensurePreload(argv);
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // The driver appends to "driver.log" in the current directory.
    const std::string dir = std::filesystem::temp_directory_path() / ("zentrova-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0)
        return 1;
    int rc = 0;
    {
        zentrova::sim::Testbed bed;
        testbed = &bed;
        zentrova::sim::addMouse(bed, zentrova::sim::MouseConfig::right());
        benchmark::Initialize(&argc, argv);
        zentrova::bench::RatioReport report(std::vector<zentrova::bench::RatioReport::Pair>{{"BM_ConstructDestroy", "BM_LibusbInitExit"}});
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
            rc = 1;
        } else {
            benchmark::RunSpecifiedBenchmarks(&report);
            report.printRatios();
        }
        benchmark::Shutdown();
        testbed = nullptr;
    }
    std::filesystem::remove_all(dir);
    return rc;
}
