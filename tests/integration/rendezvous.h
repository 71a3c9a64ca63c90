// Lets a few callbacks meet, so that they are known to run at the same time.
// Bounded: a callback that waits in vain gives up rather than hang the test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zolt_test {

class Rendezvous {
public:
    explicit Rendezvous(int parties) : parties_(parties) {}

    // True once all parties have arrived; false after `limit`.
    bool arriveAndWait(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        if (++arrived_ == parties_) arrivedAll_.notify_all();
        return arrivedAll_.wait_for(lock, limit, [&] { return arrived_ >= parties_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable arrivedAll_;
    const int parties_;
    int arrived_ = 0;
};

}  // namespace zolt_test
