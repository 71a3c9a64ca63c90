#include "notification_recorder.h"

#include <array>
#include <utility>

#include "loaded_library.h"
#include "per_channel_callbacks.h"

namespace zolt_test {

std::vector<std::string> NotificationRecorder::texts() const {
    std::lock_guard lock(lock_);
    return texts_;
}

std::size_t NotificationRecorder::calls() const {
    std::lock_guard lock(lock_);
    return texts_.size();
}

bool NotificationRecorder::waitForCalls(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(lock_);
    return recorded_.wait_for(lock, limit, [&] { return texts_.size() >= count; });
}

void NotificationRecorder::setAction(std::function<void()> action) {
    std::lock_guard lock(lock_);
    action_ = std::move(action);
}

void NotificationRecorder::record(const char* text) {
    // Taken before the action runs: the action may write and so replace it.
    std::string seen(text);
    std::function<void()> action;
    {
        std::lock_guard lock(lock_);
        action = action_;
    }
    if (action) action();
    // Counted only once the action is done, so a test that waited for the
    // call also sees everything the action did.
    {
        std::lock_guard lock(lock_);
        texts_.push_back(std::move(seen));
    }
    recorded_.notify_all();
}

void NotificationRecorder::clear() {
    std::lock_guard lock(lock_);
    texts_.clear();
    action_ = nullptr;
}

namespace {

std::array<NotificationRecorder, ZOLT_CHANNEL_COUNT> recorders;

template <int Channel>
struct OnNotification {
    static void ZOLT_CALL call() { recorders[Channel].record(zolt().read(Channel)); }
};

constexpr auto callbacks = perChannelCallbacks<OnNotification>();

}  // namespace

NotificationRecorder& recorderOf(int channel) { return recorders[channel]; }
NotifyCallback callbackOf(int channel) { return callbacks[channel]; }

}  // namespace zolt_test
