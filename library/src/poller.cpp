#include "poller.h"

#include <chrono>
#include <climits>

namespace zolt {

namespace {
// Far longer than a woken thread takes to leave its wait.
constexpr std::chrono::milliseconds kWakeRetry{100};
}  // namespace

bool Poller::start(Os& os, ThreadBody body, void* argument) {
    os_ = &os;
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
    event_ = 0;
    // The only way to end a wait on an event is to signal it; the poller
    // counts these signals as ours, not the slave's. Another thread waiting
    // on the same event (a second open channel of the same stem, which hosts
    // must not have) may take a signal first: then signal again.
    while (waitingOn_ != 0) {
        os_->signalEvent(waitingOn_);
        ++wakeSignals_;
        changed_.wait_for(lock, kWakeRetry, [&] { return waitingOn_ == 0; });
    }
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
    const int taken = os_->waitForEvent(event);
    bool running = false;
    {
        std::lock_guard lock(mutex_);
        const bool fromSlave = taken > wakeSignals_;
        running = suspensions_ == 0 && event_ == event;
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
