#include "samples.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <numeric>

namespace zolt_bench {

namespace {

std::int64_t nanosecondsOf(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

std::int64_t monotonicNanoseconds() { return nanosecondsOf(CLOCK_MONOTONIC); }
std::int64_t processCpuNanoseconds() { return nanosecondsOf(CLOCK_PROCESS_CPUTIME_ID); }

void sleepOneMillisecond() {
    timespec remaining{0, 1'000'000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

Summary Samples::summarize() const {
    Summary summary;
    summary.count = seconds_.size();
    if (seconds_.empty()) return summary;
    std::vector<double> sorted = seconds_;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = [&](double fraction) {
        const auto position = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
        return sorted[std::clamp<std::size_t>(position, 1, sorted.size()) - 1];
    };
    summary.median = rank(0.5);
    summary.p99 = rank(0.99);
    summary.mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(sorted.size());
    return summary;
}

}  // namespace zolt_bench
