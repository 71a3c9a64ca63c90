// Keeps the exchanges of one channel from overlapping. First come, first
// served rather than a plain mutex: the poller takes it again right after
// each callback, and an unfair lock would let a long series of
// notifications starve a host's write or close.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zolt {

class ExchangeLock {
public:
    void lock();
    void unlock();

private:
    std::mutex mutex_;
    std::condition_variable turnChanged_;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t nowServing_ = 0;
};

}  // namespace zolt
