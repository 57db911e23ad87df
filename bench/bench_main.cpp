// Runs every benchmark, then sets the copying path beside its memcpy baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// The console table, remembering each benchmark's mean real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"pickPair/interleaved8_pair6", "memcpy/512KiB_input"},
        {"pickPair/separate2", "memcpy/128KiB_output"},
    };
    std::printf("\n");
    for (const auto& [copy, baseline] : pairs) {
        auto a = reporter.times.find(copy);
        auto b = reporter.times.find(baseline);
        if (a != reporter.times.end() && b != reporter.times.end() && b->second > 0) {
            std::printf("%-28s / %-22s = %.2f\n", copy.c_str(), baseline.c_str(), a->second / b->second);
        }
    }
    return 0;
}
