// Cost of doPfg against what it cannot avoid: reading and parsing the same
// JSON file with rapidjson and writing an image of the same size over the
// same output file, as callers do. Three input sizes: the largest example
// profile, and the same profile with its macros and key bindings repeated 10
// and 100 times, so that compile time can be seen to grow with bindings +
// macros rather than with their product.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "support/ratio_report.h"
#include "zentrova/profile/pfg.h"

namespace {

const std::string kExample = std::string(ZENTROVA_SOURCE_DIR) + "/examples/profiles/mmo.json";
constexpr const char* kProfile = "Raid";
constexpr const char* kOutput = "bench.zvmp";
const int kScales[] = {1, 10, 100};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string jsonPath(int scale)
{
    return "scale" + std::to_string(scale) + ".json";
}

// The example with every profile's macros and key bindings repeated `scale`
// times; repeated macros get fresh ids, and the bindings that name a macro
// keep naming the original, which now stands first of many.
void writeScaledInput(int scale)
{
    rapidjson::Document doc;
    const std::string text = readFile(kExample);
    doc.Parse(text.c_str());
    auto& alloc = doc.GetAllocator();
    for (auto& hand : doc["testData"].GetArray()) {
        for (auto& profile : hand["profiles"].GetArray()) {
            for (const char* list : {"_macro_data", "_key_data"}) {
                rapidjson::Value& items = profile[list];
                const rapidjson::SizeType original = items.Size();
                for (int copy = 1; copy < scale; ++copy) {
                    for (rapidjson::SizeType i = 0; i < original; ++i) {
                        rapidjson::Value item(items[i], alloc);
                        if (item.HasMember("macro_id"))
                            item["macro_id"].SetInt(item["macro_id"].GetInt() + 1000 * copy);
                        items.PushBack(item, alloc);
                    }
                }
            }
        }
    }
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    doc.Accept(writer);
    std::ofstream(jsonPath(scale), std::ios::binary) << out.GetString();
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

// pfg.log is appended to by every call and stays between calls, as it does
// for callers: only their first call creates it.
void BM_doPfg(benchmark::State& state)
{
    const std::string json = jsonPath(static_cast<int>(state.range(0)));
    SilencedStdout quiet;
    for (auto _ : state)
        doPfg(json.c_str(), 0, kProfile, kOutput);
    state.counters["image_bytes"] = static_cast<double>(readFile(kOutput).size());
}

// The whole file in one read, into a string of its size.
std::string readWhole(const std::string& path)
{
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0)
        std::abort();
    text.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = read(fd, &text[done], text.size() - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    close(fd);
    return text;
}

// What doPfg cannot avoid: read and parse the JSON, write the image over the
// previous one.
void BM_parseAndWrite(benchmark::State& state)
{
    const std::string json = jsonPath(static_cast<int>(state.range(0)));
    {
        SilencedStdout quiet;
        doPfg(json.c_str(), 0, kProfile, kOutput);
    }
    const std::string image = readFile(kOutput);
    for (auto _ : state) {
        const std::string text = readWhole(json);
        rapidjson::Document doc;
        doc.Parse(text.c_str());
        benchmark::DoNotOptimize(doc.IsObject());
        FILE* f = std::fopen(kOutput, "wb");
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
}

// Each figure right before its baseline, so that both see the machine alike
// (--benchmark_enable_random_interleaving mixes their repetitions too).
BENCHMARK(BM_doPfg)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_parseAndWrite)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_doPfg)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_parseAndWrite)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_doPfg)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_parseAndWrite)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // pfg.log, the inputs and the images go to a private folder.
    char dir[] = "/tmp/zentrova-bench-profile-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0)
        return 1;
    for (int scale : kScales)
        writeScaledInput(scale);
    std::vector<zentrova::bench::RatioReport::Pair> pairs;
    for (int scale : kScales) {
        const std::string arg = "/" + std::to_string(scale);
        pairs.push_back({"BM_doPfg" + arg, "BM_parseAndWrite" + arg});
    }
    zentrova::bench::RatioReport report(pairs);
    // By default seven interleaved repetitions, compared by their medians: a
    // single run of a few hundred microseconds of file system work moves by
    // a third from one run to the next. Options given after these win.
    std::vector<char*> args = {argv[0]};
    char repetitions[] = "--benchmark_repetitions=7", interleaving[] = "--benchmark_enable_random_interleaving=true",
         aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.end(), {repetitions, interleaving, aggregates});
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();
    report.printRatios();
    for (int scale : kScales)
        std::remove(jsonPath(scale).c_str());
    for (const char* name : {"pfg.log", kOutput})
        std::remove(name);
    return rmdir(dir) == 0 ? 0 : 1;
}
