// What each benchmark found, gathered for the summary table printed after the
// run. A benchmark that did not run leaves its entry empty.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "samples.h"

namespace zolt_bench {

struct Results {
    std::optional<Summary> sleep;

    std::optional<Summary> roundTrip;
    std::optional<Summary> sleepBesideRoundTrip;
    std::optional<unsigned long> allocations;
    std::size_t allocationExchanges = 0;

    std::optional<double> oneChannelRate;  // exchanges per second
    std::optional<double> eightChannelRate;
    double oneChannelCpu = 0;  // host CPU seconds per exchange

    std::optional<double> timeout;  // seconds
    std::optional<Summary> notification;
    std::optional<double> idleCpu;  // seconds
    double idleSeconds = 0;

    std::optional<Summary> pipe;
    double pipeCpu = 0;
    std::optional<Summary> spin;

    std::vector<std::string> errors;
};

Results& results();

// The machine and the table, in Markdown.
void printSummary(std::FILE* out);

}  // namespace zolt_bench
