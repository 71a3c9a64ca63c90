// The notification poller of one channel: its thread, its counted
// suspension, the event it waits on, how close takes it out of that wait,
// and whether it is inside the host's callback.
//
// The suspension is counted by the library itself rather than by freezing
// the thread: not every platform can suspend a thread by count, and a thread
// frozen at an arbitrary point could hold a lock. A suspended poller stops at
// its gate instead, so it never starts an exchange or a callback. Event takes
// one suspension away; only the close of an open channel adds one, so a
// stray close never leaves a suspension that no Event undoes.
//
// At rest nothing wakes. A running poller waits on its event, and close takes
// it out of that wait: a suspended poller waits on nothing, since the event
// of a closed channel may be taken over by another channel (the same stem),
// and two threads waiting on one auto-reset event would share its signals at
// random. Where the system can wait on two objects at once (Windows), the
// poller also waits on a private wake-up object of its own, which close sets:
// nobody else can take that signal, and the wait needs no time limit. Where it
// cannot (a named POSIX semaphore waits alone), close posts the event itself
// and counts that post as its own, and the wait ends by itself after a long
// slice. Nothing else could do it without a thread of its own per channel:
// cancelling a thread ends it, and a signal handler would be the host's to
// see. Anyone may take close's post (another process, a broken slave), so
// close waits for the poller only kCloseGraceMilliseconds: a poller left in
// its wait then finds itself unwanted when the wait ends, at the slave's next
// signal or at the end of its slice, and puts back a signal of the slave that
// it took, for whichever poller owns the event next.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "os.h"

namespace zolt {

// How long close waits for the poller to leave its wait.
inline constexpr int kCloseGraceMilliseconds = 100;
// The longest wait on an event where close cannot end it for sure (see above):
// long enough that eight resting channels wake less than once a second.
inline constexpr int kWaitSliceMilliseconds = 10'000;
// The rest after a failed wait, doubled at each failure in a row up to a
// slice, so a broken event never makes the poller spin.
inline constexpr int kFirstFailureRestMilliseconds = 100;

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
    // Close of an open channel: one suspension more, no event any more, and
    // out of its wait when this returns (bar a stolen wake-up, see above).
    // Never waits for a callback.
    void suspendAndDetach();
    // Close of a channel that is not open: no event any more, and no
    // suspension either, so that Event still starts the poller later.
    void detach();
    int suspensionCount() const;
    bool suspended() const { return suspensionCount() > 0; }

    // Poller thread: blocks until the poller runs, then waits for its event.
    // True when the slave signalled and the poller still runs; false when
    // the slice ran out or close took it out of the wait. A wait that fails
    // at once is followed by a rest (see kFirstFailureRestMilliseconds).
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
    WakeHandle wake_ = 0;        // the private wake-up object, where there is one
    EventHandle waitingOn_ = 0;  // set while the thread is blocked in its wait
    int wakeSignals_ = 0;        // posts close gave the event to end the present wait
    int failureRest_ = kFirstFailureRestMilliseconds;
    bool inCallback_ = false;
    std::thread::id callbackThread_;
};

}  // namespace zolt
