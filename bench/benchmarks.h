// The benchmarks, registered in the order they run.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "samples.h"

namespace zolt_bench {

// How much each benchmark does. The full plan takes about a minute; the quick
// one only proves that everything still runs.
struct Plan {
    int sleeps;
    int zoltRoundTrips;
    int pipeRoundTrips;
    int spinRoundTrips;
    double spinSeconds;  // at most
    double channelSeconds;
    bool timeout;
    int notifications;
    double idleSeconds;

    static Plan full() { return {2000, 10000, 20000, 100000, 2.0, 3.0, true, 1000, 5.0}; }
    static Plan quick() { return {20, 20, 100, 1000, 0.2, 0.1, false, 5, 0.1}; }
};

void registerBenchmarks(const Plan& plan);

// Fails the benchmark and keeps the reason for the summary.
void fail(benchmark::State& state, const std::string& why);

// Median and p99 as counters of the benchmark's own report.
void reportSpread(benchmark::State& state, const Summary& summary);

void sleepOneMillisecondBenchmark(benchmark::State& state);
void pipeRoundTripBenchmark(benchmark::State& state);
void spinRoundTripBenchmark(benchmark::State& state, int roundTrips, double seconds);

void zoltRoundTripBenchmark(benchmark::State& state);
void zoltChannelsBenchmark(benchmark::State& state, int channels, double seconds);
void zoltTimeoutBenchmark(benchmark::State& state);
void zoltNotificationBenchmark(benchmark::State& state, int notifications);
void zoltIdleBenchmark(benchmark::State& state, double seconds);

}  // namespace zolt_bench
