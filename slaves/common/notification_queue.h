#pragma once

#include "slave_mailbox.h"

#include <array>
#include <cstddef>

namespace zolt_slave {

// Notifications waiting for the host to "Ask"; oldest first. Fixed storage,
// so a host that never asks cannot make the slave grow without bound.
class NotificationQueue {
public:
    static constexpr std::size_t kCapacity = 1024;

    // Copies text (cut to kMaxTextLength); false when the queue is full.
    bool push(const char* text);
    // The oldest text, or nullptr when none is left. Valid until the next push.
    const char* pop();
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }

private:
    std::array<std::array<char, kTextBytes>, kCapacity> entries_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

} // namespace zolt_slave
