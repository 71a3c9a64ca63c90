// The poller's wait and close's way of ending it, on a real thread against
// events that really block.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "poller.h"

namespace {

using namespace std::chrono_literals;

// One event whose signals pile up as on Linux; nothing else works.
class BlockingEventOs final : public zolt::Os {
public:
    int pendingSignals() {
        std::lock_guard lock(mutex_);
        return signals_;
    }
    int waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }
    bool waiting() {
        std::lock_guard lock(mutex_);
        return blocked_;
    }
    int signalCalls() {
        std::lock_guard lock(mutex_);
        return signalCalls_;
    }
    void takeSignalsElsewhere(int count) {
        std::lock_guard lock(mutex_);
        signalsTakenElsewhere_ = count;
    }

    int waitForEvent(zolt::EventHandle, zolt::WakeHandle wake, int milliseconds) override {
        std::unique_lock lock(mutex_);
        ++waits_;
        lastLimit_ = milliseconds;
        changed_.notify_all();
        if (failWaits) return -1;
        if (timeOutAtOnce && signals_ == 0 && milliseconds != zolt::kNoTimeLimit) return 0;
        blocked_ = true;
        const auto ended = [&] { return signals_ > 0 || (wake != 0 && woken_); };
        const bool signalled = milliseconds == zolt::kNoTimeLimit
                                   ? (changed_.wait(lock, ended), true)
                                   : changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), ended);
        blocked_ = false;
        changed_.notify_all();
        if (!signalled) return 0;
        if (signals_ == 0) {
            woken_ = false;
            return 0;
        }
        const int taken = signals_;
        signals_ = 0;
        // Lets a test add a slave's signal that the wait takes with close's.
        if (onWake) onWake(taken);
        return taken + extraTaken;
    }
    zolt::WakeHandle createWakeUp() override { return withWakeUp ? 1 : 0; }
    void wakeUp(zolt::WakeHandle) override {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        changed_.notify_all();
    }
    int lastLimit() {
        std::lock_guard lock(mutex_);
        return lastLimit_;
    }
    // Blocks until the poller waits, or has made `waits` waits.
    void awaitWaiting() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return blocked_; });
    }
    void awaitWaits(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waits_ >= count; });
    }
    void signalEvent(zolt::EventHandle) override {
        {
            std::lock_guard lock(mutex_);
            ++signalCalls_;
            // As if another thread waiting on the same event took it.
            if (signalsTakenElsewhere_ > 0) {
                --signalsTakenElsewhere_;
                return;
            }
            ++signals_;
        }
        changed_.notify_all();
    }
    zolt::ThreadHandle createThread(zolt::ThreadBody, void*, std::uint32_t&) override { return 1; }
    zolt::ClaimResult claimStem(const char*, zolt::ClaimHandle&) override { return zolt::ClaimResult::Failed; }
    void releaseStemClaim(zolt::ClaimHandle) override {}
    std::uint32_t processId() override { return 1; }
    int lastError() override { return 0; }
    void restoreLastError(int) override {}

    zolt::SharedMemoryHandle createSharedMemory(const char*, std::size_t) override { return 0; }
    unsigned char* mapSharedMemory(zolt::SharedMemoryHandle, std::size_t) override { return nullptr; }
    void unmapSharedMemory(unsigned char*, std::size_t) override {}
    zolt::EventHandle createEvent(const char*) override { return 0; }
    zolt::ProcessHandle startProcess(const char*) override { return 0; }
    void queryExitCode(zolt::ProcessHandle, std::uint32_t&) override {}
    void releaseProcess(zolt::ProcessHandle) override {}
    void sleepOneMillisecond(int) override {}
    void finishSleeping(int) override {}
    zolt::WakeHandle createSlaveWakeUp(const char*) override { return 0; }
    void wakeSlave(unsigned char*, zolt::WakeHandle) override {}

    std::function<void(int)> onWake;
    int extraTaken = 0;
    bool failWaits = false;
    bool withWakeUp = false;  // as on Windows: a private object ends the wait
    bool timeOutAtOnce = false;  // a wait with a limit and no signal ends at once

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int signals_ = 0;
    int waits_ = 0;
    int signalCalls_ = 0;
    int signalsTakenElsewhere_ = 0;
    bool blocked_ = false;
    bool woken_ = false;
    int lastLimit_ = 0;
};

constexpr zolt::EventHandle kEvent = 7;

class PollerWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(poller.start(os, nullptr, nullptr));
        poller.attachEvent(kEvent);
        poller.resume();
    }

    // Runs one wait on its own thread and returns once it blocks.
    std::future<bool> waitInBackground() {
        auto result = std::async(std::launch::async, [this] { return poller.awaitSignal(); });
        os.awaitWaiting();
        return result;
    }

    BlockingEventOs os;
    zolt::Poller poller;
};

TEST_F(PollerWaitTest, ASlaveSignalWakesARunningPoller) {
    auto woken = waitInBackground();
    os.signalEvent(kEvent);
    EXPECT_TRUE(woken.get());
    EXPECT_EQ(os.pendingSignals(), 0);
}

TEST_F(PollerWaitTest, CloseEndsTheWaitAndLeavesNoSignalBehind) {
    auto woken = waitInBackground();
    poller.suspendAndDetach();
    // Out of the wait by the time close returns, with nothing to serve.
    EXPECT_FALSE(os.waiting());
    EXPECT_FALSE(woken.get());
    EXPECT_EQ(os.pendingSignals(), 0);
    EXPECT_EQ(poller.event(), 0);
    EXPECT_EQ(poller.suspensionCount(), 1);
}

TEST_F(PollerWaitTest, ASlaveSignalTakenOnTheWayOutIsPutBack) {
    // The wait takes close's signal and one of the slave's together.
    os.extraTaken = 1;
    auto woken = waitInBackground();
    poller.suspendAndDetach();
    EXPECT_FALSE(woken.get());
    EXPECT_EQ(os.pendingSignals(), 1);
}

TEST_F(PollerWaitTest, CloseReturnsWhenSomeoneElseTakesItsSignal) {
    auto woken = waitInBackground();
    // Another process, or a broken slave, waiting on the same event.
    os.takeSignalsElsewhere(INT_MAX);
    poller.suspendAndDetach();
    EXPECT_EQ(os.signalCalls(), 1);
    // Close did not wait for it: the wait ends by itself, at its slice's end.
    EXPECT_TRUE(os.waiting());
    EXPECT_EQ(os.lastLimit(), zolt::kWaitSliceMilliseconds);
    os.takeSignalsElsewhere(0);
    os.signalEvent(kEvent);
    EXPECT_FALSE(woken.get());
}

TEST_F(PollerWaitTest, AWaitThatTimesOutServesNothingAndWaitsAgain) {
    os.timeOutAtOnce = true;
    EXPECT_FALSE(poller.awaitSignal());
    os.signalEvent(kEvent);
    EXPECT_TRUE(poller.awaitSignal());
    EXPECT_EQ(os.waits(), 2);
}

// As on Windows: the poller waits on its event and a private object together,
// with no time limit, and close ends the wait through the private one only.
TEST(PollerWakeUpTest, ClosesThroughItsOwnObjectWhoeverTakesTheEventsSignals) {
    BlockingEventOs os;
    os.withWakeUp = true;
    zolt::Poller poller;
    ASSERT_TRUE(poller.start(os, nullptr, nullptr));
    poller.attachEvent(kEvent);
    poller.resume();
    auto woken = std::async(std::launch::async, [&] { return poller.awaitSignal(); });
    os.awaitWaiting();
    EXPECT_EQ(os.lastLimit(), zolt::kNoTimeLimit);
    os.takeSignalsElsewhere(INT_MAX);
    poller.suspendAndDetach();
    EXPECT_FALSE(os.waiting());
    EXPECT_FALSE(woken.get());
    EXPECT_EQ(os.signalCalls(), 0);
}

TEST_F(PollerWaitTest, AStrayCloseDetachesTheEventButCountsNoSuspension) {
    poller.suspendAndDetach();
    poller.detach();
    poller.detach();
    EXPECT_EQ(poller.suspensionCount(), 1);
    EXPECT_EQ(poller.event(), 0);
    poller.attachEvent(kEvent);
    poller.resume();
    EXPECT_EQ(poller.suspensionCount(), 0);
}

TEST_F(PollerWaitTest, AWaitThatFailsRestsForASliceInsteadOfSpinning) {
    os.failWaits = true;
    const auto end = std::chrono::steady_clock::now() + 500ms;
    while (std::chrono::steady_clock::now() < end) EXPECT_FALSE(poller.awaitSignal());
    // A spinning poller would have made many thousands.
    EXPECT_LE(os.waits(), 10);
}

TEST_F(PollerWaitTest, CloseTakesThePollerOutOfItsRestAfterAFailedWait) {
    os.failWaits = true;
    auto resting = std::async(std::launch::async, [this] { return poller.awaitSignal(); });
    os.awaitWaits(1);
    poller.suspendAndDetach();
    EXPECT_FALSE(resting.get());
    EXPECT_EQ(os.waits(), 1);
}

TEST_F(PollerWaitTest, ASuspendedPollerDoesNotWaitOnTheEvent) {
    poller.suspendAndDetach();
    auto blocked = std::async(std::launch::async, [this] { return poller.awaitSignal(); });
    // A slave signal now is for whoever owns the event next, not for this poller.
    os.signalEvent(kEvent);
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(os.waits(), 0);
    EXPECT_EQ(os.pendingSignals(), 1);

    // Reopened and let run: the signal kept for it is served at once.
    poller.attachEvent(kEvent);
    poller.resume();
    EXPECT_TRUE(blocked.get());
    EXPECT_EQ(os.pendingSignals(), 0);
}

TEST_F(PollerWaitTest, CloseWaitsForTheCallbackOnlyWhenAsked) {
    poller.enterCallback();
    poller.suspendAndDetach();  // returns while the callback still runs
    auto closed = std::async(std::launch::async, [this] { poller.waitUntilOutOfCallback(); });
    EXPECT_EQ(closed.wait_for(50ms), std::future_status::timeout);
    poller.leaveCallback();
    closed.get();
}

}  // namespace
