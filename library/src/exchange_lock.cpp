#include "exchange_lock.h"

namespace zolt {

void ExchangeLock::lock() {
    std::unique_lock guard(mutex_);
    const std::uint64_t ticket = nextTicket_++;
    turnChanged_.wait(guard, [&] { return nowServing_ == ticket; });
}

void ExchangeLock::unlock() {
    {
        std::lock_guard guard(mutex_);
        ++nowServing_;
    }
    turnChanged_.notify_all();
}

}  // namespace zolt
