#include "suspension_gate.h"

#include <climits>

namespace zolt {

void SuspensionGate::suspend() {
    std::lock_guard lock(mutex_);
    if (count_ < INT_MAX) ++count_;
}

void SuspensionGate::resume() {
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) return;
        --count_;
    }
    changed_.notify_all();
}

int SuspensionGate::count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

}  // namespace zolt
