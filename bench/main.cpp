// zolt_bench: every benchmark in one run, then the summary table.
//   zolt_bench            the full run, about a minute
//   zolt_bench --quick    a few iterations of each, for the test command
// Google Benchmark's own flags (--benchmark_filter, --benchmark_format, ...)
// work as usual. Exits non-zero if a benchmark failed, not if a target is missed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "allocation_counter.h"
#include "benchmarks.h"
#include "results.h"
#include "zolt.h"

namespace zolt_bench {

void fail(benchmark::State& state, const std::string& why) {
    results().errors.push_back(why);
    state.SkipWithError(results().errors.back().c_str());
}

void reportSpread(benchmark::State& state, const Summary& summary) {
    state.counters["median_us"] = summary.median * 1e6;
    state.counters["p99_us"] = summary.p99 * 1e6;
}

void registerBenchmarks(const Plan& plan) {
    using benchmark::RegisterBenchmark;
    // Fixed iteration counts: every sample is kept for its percentiles.
    RegisterBenchmark("Sleep1ms", sleepOneMillisecondBenchmark)
        ->Iterations(plan.sleeps)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("ZoltRoundTrip", zoltRoundTripBenchmark)
        ->Iterations(plan.zoltRoundTrips)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("PipeRoundTrip", pipeRoundTripBenchmark)
        ->Iterations(plan.pipeRoundTrips)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("SpinRoundTrip", spinRoundTripBenchmark, plan.spinRoundTrips, plan.spinSeconds)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    for (const int channels : {1, ZOLT_CHANNEL_COUNT}) {
        RegisterBenchmark(("ZoltChannels/" + std::to_string(channels)).c_str(), zoltChannelsBenchmark, channels,
                          plan.channelSeconds)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    if (plan.timeout) {
        RegisterBenchmark("ZoltTimeout", zoltTimeoutBenchmark)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    RegisterBenchmark("ZoltNotification", zoltNotificationBenchmark, plan.notifications)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    RegisterBenchmark("ZoltIdle", zoltIdleBenchmark, plan.idleSeconds)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

// An interposed malloc that the rest of the process bypassed would report
// zero allocations whatever the library did.
bool allocationCounterWorks() {
    const unsigned long before = zolt_bench_allocations();
    char* (*volatile duplicate)(const char*) = ::strdup;
    char* copy = duplicate("seen by the counter?");
    std::free(copy);
    return zolt_bench_allocations() > before;
}

}  // namespace zolt_bench

int main(int argc, char** argv) {
    bool quick = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    if (!zolt_bench::allocationCounterWorks()) {
        std::fprintf(stderr, "zolt_bench: the allocation counter sees no allocation\n");
        return 1;
    }
    zolt_bench::registerBenchmarks(quick ? zolt_bench::Plan::quick() : zolt_bench::Plan::full());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::fflush(stdout);
    zolt_bench::printSummary(stdout);
    return zolt_bench::results().errors.empty() ? 0 : 1;
}
