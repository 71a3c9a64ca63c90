#include "exchange_lock.h"

namespace zolt {

void ExchangeLock::lock() {
    std::unique_lock guard(mutex_);
    if (depth_ > 0 && owner_ == std::this_thread::get_id()) {
        ++depth_;
        return;
    }
    const std::uint64_t ticket = nextTicket_++;
    turnChanged_.wait(guard, [&] { return nowServing_ == ticket; });
    owner_ = std::this_thread::get_id();
    depth_ = 1;
}

void ExchangeLock::unlock() {
    {
        std::lock_guard guard(mutex_);
        if (--depth_ > 0) return;
        owner_ = std::thread::id();
        ++nowServing_;
    }
    turnChanged_.notify_all();
}

}  // namespace zolt
