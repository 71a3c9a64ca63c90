// Counted suspension of a poller thread, built by the library itself: not
// every platform can suspend a thread by count, and freezing a thread at an
// arbitrary point could leave it holding a lock. A suspended poller instead
// stops at the next gate it reaches, so it never starts an exchange or a
// callback while suspended.
#pragma once

#include <condition_variable>
#include <mutex>

namespace zolt {

class SuspensionGate {
public:
    // Every poller is created suspended once.
    SuspensionGate() = default;

    void suspend();
    // Lowers the count by one unless it is already 0.
    void resume();
    int count() const;
    bool suspended() const { return count() > 0; }

    // Blocks until the count is 0 and `ready()` holds. `ready` is evaluated
    // under the gate's own lock, so a change followed by wake() is never missed.
    template <typename Ready>
    void waitUntilRunning(Ready ready) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return count_ == 0 && ready(); });
    }

    // Tells a waiting poller that what `ready` looks at may have changed.
    // The change is made inside `change`, under the gate's lock.
    template <typename Change>
    void changeAndWake(Change change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 1;
};

}  // namespace zolt
