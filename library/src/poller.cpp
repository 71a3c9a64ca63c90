#include "poller.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace zolt {

bool Poller::start(Os& os, ThreadBody body, void* argument) {
    os_ = &os;
    // Made before the thread, which may wait at once.
    wake_ = os.createWakeUp();
    thread_ = os.createThread(body, argument, threadId_);
    return thread_ != 0;
}

void Poller::attachEvent(EventHandle event) {
    {
        std::lock_guard lock(mutex_);
        event_ = event;
    }
    changed_.notify_all();
}

EventHandle Poller::event() const {
    std::lock_guard lock(mutex_);
    return event_;
}

void Poller::resume() {
    {
        std::lock_guard lock(mutex_);
        if (suspensions_ == 0) return;
        --suspensions_;
    }
    changed_.notify_all();
}

void Poller::suspendAndDetach() {
    std::unique_lock lock(mutex_);
    if (suspensions_ < INT_MAX) ++suspensions_;
    leaveWait(lock);
}

void Poller::detach() {
    std::unique_lock lock(mutex_);
    leaveWait(lock);
}

void Poller::leaveWait(std::unique_lock<std::mutex>& lock) {
    event_ = 0;
    if (waitingOn_ != 0) {
        if (wake_ != 0) {
            os_->wakeUp(wake_);
        } else {
            // The poller counts this post as ours, not the slave's.
            os_->signalEvent(waitingOn_);
            ++wakeSignals_;
        }
    }
    changed_.notify_all();  // ends a rest after a failed wait
    changed_.wait_for(lock, std::chrono::milliseconds(kCloseGraceMilliseconds), [&] { return waitingOn_ == 0; });
}

int Poller::suspensionCount() const {
    std::lock_guard lock(mutex_);
    return suspensions_;
}

bool Poller::awaitSignal() {
    EventHandle event = 0;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return suspensions_ == 0 && event_ != 0; });
        event = event_;
        waitingOn_ = event;
        wakeSignals_ = 0;
    }
    const int taken = os_->waitForEvent(event, wake_, wake_ != 0 ? kNoTimeLimit : kWaitSliceMilliseconds);
    bool running = false;
    {
        std::unique_lock lock(mutex_);
        const auto wanted = [&] { return suspensions_ == 0 && event_ == event; };
        if (taken < 0) {
            changed_.wait_for(lock, std::chrono::milliseconds(failureRest_), [&] { return !wanted(); });
            failureRest_ = std::min(2 * failureRest_, kWaitSliceMilliseconds);
        } else {
            failureRest_ = kFirstFailureRestMilliseconds;
        }
        const bool fromSlave = taken > wakeSignals_;
        running = wanted();
        // Not ours to serve any more: leave the slave's signal pending, as an
        // event keeps it, for the poller that owns the event next.
        if (!running && fromSlave) os_->signalEvent(event);
        running = running && fromSlave;
        waitingOn_ = 0;
    }
    changed_.notify_all();
    return running;
}

void Poller::enterCallback() {
    std::lock_guard lock(mutex_);
    inCallback_ = true;
    callbackThread_ = std::this_thread::get_id();
}

void Poller::leaveCallback() {
    {
        std::lock_guard lock(mutex_);
        inCallback_ = false;
    }
    changed_.notify_all();
}

bool Poller::runsCallbackOnThisThread() const {
    std::lock_guard lock(mutex_);
    return inCallback_ && callbackThread_ == std::this_thread::get_id();
}

void Poller::waitUntilOutOfCallback() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !inCallback_; });
}

}  // namespace zolt
