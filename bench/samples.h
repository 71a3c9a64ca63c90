// Durations of single operations, kept whole so that percentiles are exact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zolt_bench {

std::int64_t monotonicNanoseconds();
// CPU time of every thread of this process.
std::int64_t processCpuNanoseconds();
// One nanosleep of 1 ms, as the library sleeps while it waits.
void sleepOneMillisecond();

struct Summary {
    std::size_t count = 0;
    double median = 0;  // seconds
    double p99 = 0;
    double mean = 0;
};

class Samples {
public:
    // Reserves room for all of them up front: adding never allocates, so the
    // allocation count stays the library's own.
    explicit Samples(std::size_t capacity) { seconds_.reserve(capacity); }
    void add(double seconds) {
        if (seconds_.size() < seconds_.capacity()) seconds_.push_back(seconds);
    }
    std::size_t size() const { return seconds_.size(); }
    // Nearest-rank percentiles.
    Summary summarize() const;

private:
    std::vector<double> seconds_;
};

}  // namespace zolt_bench
