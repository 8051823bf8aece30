// Cost of compiling the largest example profile with doPfg, next to the two
// things it cannot avoid: reading and parsing the same JSON file with
// rapidjson, and writing an image of the same size to a file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include "zentrova/profile/pfg.h"

namespace {

const std::string kJson = std::string(ZENTROVA_SOURCE_DIR) + "/examples/profiles/mmo.json";
constexpr const char* kProfile = "Raid";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// doPfg prints its progress lines to standard output; they go to /dev/null
// while it runs, so that only the report is printed.
class SilencedStdout {
public:
    SilencedStdout()
    {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~SilencedStdout()
    {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    SilencedStdout(const SilencedStdout&) = delete;
    SilencedStdout& operator=(const SilencedStdout&) = delete;

private:
    int saved_;
};

void BM_doPfg(benchmark::State& state)
{
    SilencedStdout quiet;
    for (auto _ : state) {
        doPfg(kJson.c_str(), 0, kProfile, "bench.zvmp");
        state.PauseTiming();
        std::remove("pfg.log");  // appended to by every call
        state.ResumeTiming();
    }
    state.counters["image_bytes"] = static_cast<double>(readFile("bench.zvmp").size());
}

void BM_readAndParseJson(benchmark::State& state)
{
    for (auto _ : state) {
        const std::string text = readFile(kJson);
        rapidjson::Document doc;
        doc.Parse(text.c_str());
        benchmark::DoNotOptimize(doc.IsObject());
    }
}

void BM_writeImageSizedFile(benchmark::State& state)
{
    {
        SilencedStdout quiet;
        doPfg(kJson.c_str(), 0, kProfile, "bench.zvmp");
    }
    const std::string image = readFile("bench.zvmp");
    for (auto _ : state) {
        FILE* f = std::fopen("written.bin", "wb");
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
}

BENCHMARK(BM_doPfg);
BENCHMARK(BM_readAndParseJson);
BENCHMARK(BM_writeImageSizedFile);

} // namespace

int main(int argc, char** argv)
{
    // pfg.log and the images go to a private folder.
    char dir[] = "/tmp/zentrova-bench-profile-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0)
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* name : {"pfg.log", "bench.zvmp", "written.bin"})
        std::remove(name);
    return rmdir(dir) == 0 ? 0 : 1;
}
