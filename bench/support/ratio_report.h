// Prints each measured figure beside its baseline from the same run:
//
//   zentrova::bench::RatioReport report({{"BM_doPfg/1", "BM_parseAndWrite/1"}, ...});
//   benchmark::RunSpecifiedBenchmarks(&report);
//   report.printRatios();
//
// The console table is printed as usual; the closing lines give, per pair,
// "figure  time  |  baseline  time  |  ratio" (ratio = figure / baseline on
// real time per iteration; below 1.0 the figure is faster). With
// repetitions, the median aggregate is used when present.
#ifndef ZENTROVA_BENCH_RATIO_REPORT_H
#define ZENTROVA_BENCH_RATIO_REPORT_H

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

namespace zentrova::bench {

class RatioReport : public benchmark::ConsoleReporter {
public:
    using Pair = std::pair<std::string, std::string>; // figure, baseline

    explicit RatioReport(std::vector<Pair> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            const double seconds = run.GetAdjustedRealTime() / unitsPerSecond(run.time_unit);
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median")
                    median_[name] = seconds;
            } else if (!plain_.count(name)) {
                plain_[name] = seconds;
            }
        }
    }

    // Seconds per iteration of a benchmark, or a negative value when it did not run.
    double seconds(const std::string& name) const
    {
        if (auto m = median_.find(name); m != median_.end())
            return m->second;
        if (auto p = plain_.find(name); p != plain_.end())
            return p->second;
        return -1.0;
    }

    void printRatios() const
    {
        std::printf("\n%-44s %12s   %-44s %12s   %s\n", "figure", "time", "baseline (same run)", "time", "ratio");
        for (const Pair& p : pairs_) {
            const double a = seconds(p.first), b = seconds(p.second);
            if (a < 0 || b <= 0)
                continue;
            std::printf("%-44s %12s   %-44s %12s   %.2f\n", p.first.c_str(), human(a).c_str(), p.second.c_str(),
                        human(b).c_str(), a / b);
        }
        std::fflush(stdout);
    }

private:
    static double unitsPerSecond(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e9;
        case benchmark::kMicrosecond: return 1e6;
        case benchmark::kMillisecond: return 1e3;
        default: return 1.0;
        }
    }

    static std::string human(double s)
    {
        char text[32];
        if (s >= 1e-3)
            std::snprintf(text, sizeof text, "%.3f ms", s * 1e3);
        else
            std::snprintf(text, sizeof text, "%.2f us", s * 1e6);
        return text;
    }

    std::vector<Pair> pairs_;
    std::map<std::string, double> plain_;
    std::map<std::string, double> median_;
};

} // namespace zentrova::bench

#endif
