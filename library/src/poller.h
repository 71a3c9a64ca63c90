// The notification poller of one channel: its thread, its counted
// suspension, the event it waits on, how close takes it out of that wait,
// and whether it is inside the host's callback.
//
// The suspension is counted by the library itself rather than by freezing
// the thread: not every platform can suspend a thread by count, and a thread
// frozen at an arbitrary point could hold a lock. A suspended poller stops at
// its gate instead, so it never starts an exchange or a callback.
//
// A suspended poller waits on nothing. The event of a closed channel may be
// taken over by another channel (the same stem), and two threads waiting on
// one auto-reset event would share its signals at random. So close returns
// only once the poller has left its wait; a signal of the slave that the
// poller took on the way out is put back for whichever poller owns the event
// next. Close signals the event once to end the wait at once, but it never
// depends on that signal: anyone may take it (another process, a broken
// slave), so every wait also ends by itself after kWaitSlice, and the poller
// then looks whether it is still wanted. Close thus returns within a slice.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "os.h"

namespace zolt {

// The longest wait on the event, and so how long close may wait for the
// poller to leave it.
inline constexpr int kWaitSliceMilliseconds = 100;

class Poller {
public:
    // Starts the thread, suspended once. False when it could not be created:
    // the channel then cannot be opened.
    bool start(Os& os, ThreadBody body, void* argument);
    bool exists() const { return thread_ != 0; }
    ThreadHandle thread() const { return thread_; }
    std::uint32_t threadId() const { return threadId_; }

    // Open: the event the poller waits on from now on.
    void attachEvent(EventHandle event);
    EventHandle event() const;

    // Event: one suspension less, unless there is none.
    void resume();
    // Close: one suspension more, no event any more, and out of its wait
    // when this returns, a slice later at most. Never waits for a callback.
    void suspendAndDetach();
    // Close of a channel that is not open: no event any more, and no
    // suspension either, so that Event still starts the poller later.
    void detach();
    int suspensionCount() const;
    bool suspended() const { return suspensionCount() > 0; }

    // Poller thread: blocks until the poller runs, then waits for its event
    // for one slice. True when the slave signalled and the poller still
    // runs; false when the slice ran out or close took it out of the wait.
    // A wait that fails at once is followed by a rest of one slice, so a
    // broken event never makes the poller spin.
    bool awaitSignal();

    // The callback's run, so that a close can wait until it has returned.
    // Called on the poller's thread.
    void enterCallback();
    void leaveCallback();
    void waitUntilOutOfCallback();
    bool runsCallbackOnThisThread() const;

private:
    void leaveWait(std::unique_lock<std::mutex>& lock);

    Os* os_ = nullptr;
    ThreadHandle thread_ = 0;
    std::uint32_t threadId_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int suspensions_ = 1;
    EventHandle event_ = 0;
    EventHandle waitingOn_ = 0;  // set while the thread is blocked in its wait
    int wakeSignals_ = 0;        // signals close gave to end the present wait
    bool inCallback_ = false;
    std::thread::id callbackThread_;
};

}  // namespace zolt
