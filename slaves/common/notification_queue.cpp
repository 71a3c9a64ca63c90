#include "notification_queue.h"

#include <cstring>

namespace zolt_slave {

bool NotificationQueue::push(const char* text) {
    if (count_ == kCapacity)
        return false;
    auto& entry = entries_[(head_ + count_) % kCapacity];
    const std::size_t length = strnlen(text, kMaxTextLength);
    std::memcpy(entry.data(), text, length);
    entry[length] = '\0';
    ++count_;
    return true;
}

const char* NotificationQueue::pop() {
    if (count_ == 0)
        return nullptr;
    const char* oldest = entries_[head_].data();
    head_ = (head_ + 1) % kCapacity;
    --count_;
    return oldest;
}

} // namespace zolt_slave
