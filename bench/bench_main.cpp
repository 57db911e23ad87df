// Runs every benchmark, then sets the copying path beside its memcpy baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The console table, remembering each benchmark's CPU time per iteration (the median when the
// run has repetitions): on a shared machine it is the steadier figure, and both sides of a ratio
// are single-threaded.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // Runs timed by hand (a stream through a pipe) are compared by their own time.
            const double time = !run.run_name.time_type.empty() ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                single[run.run_name.str()] = time;
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                median[run.run_name.str()] = time;
            }
        }
    }
    std::optional<double> time(const std::string& name) const {
        for (const auto* times : {&median, &single}) {
            if (auto found = times->find(name); found != times->end() && found->second > 0) {
                return found->second;
            }
        }
        return std::nullopt;
    }

private:
    std::map<std::string, double> single, median;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"pickPair/interleaved8_pair6", "memcpy/512KiB_input"},
        {"pickPair/separate2", "memcpy/128KiB_output"},
    };
    std::printf("\n");
    for (const auto& [copy, baseline] : pairs) {
        auto a = reporter.time(copy);
        auto b = reporter.time(baseline);
        if (a && b) {
            std::printf("%-28s / %-22s = %.2f (CPU time)\n", copy.c_str(), baseline.c_str(), *a / *b);
        }
    }
    // The same bytes in less time is the faster: throughput against dd's (goal at least 0.8).
    auto tap = reporter.time("endToEnd/fast_48k_stereo_512/iterations:5/manual_time"),
         dd = reporter.time("endToEnd/dd_4KiB_blocks/iterations:5/manual_time");
    if (tap && dd) {
        std::printf("%-28s / %-22s = %.2f (throughput through a pipe)\n", "sorvane-tap", "dd bs=4096", *dd / *tap);
    }
    return 0;
}
