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

    int waitForEvent(zolt::EventHandle, int milliseconds) override {
        std::unique_lock lock(mutex_);
        ++waits_;
        if (failWaits) return -1;
        blocked_ = true;
        const bool signalled =
            changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return signals_ > 0; });
        blocked_ = false;
        if (!signalled) return 0;
        const int taken = signals_;
        signals_ = 0;
        // Lets a test add a slave's signal that the wait takes with close's.
        if (onWake) onWake(taken);
        return taken + extraTaken;
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
    void wakeSlave(unsigned char*) override {}

    std::function<void(int)> onWake;
    int extraTaken = 0;
    bool failWaits = false;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int signals_ = 0;
    int waits_ = 0;
    int signalCalls_ = 0;
    int signalsTakenElsewhere_ = 0;
    bool blocked_ = false;
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
        while (!os.waiting()) std::this_thread::sleep_for(1ms);
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

TEST_F(PollerWaitTest, CloseReturnsWhenSomeoneElseTakesEverySignal) {
    auto woken = waitInBackground();
    // Another process, or a broken slave, waiting on the same event.
    os.takeSignalsElsewhere(INT_MAX);
    poller.suspendAndDetach();
    // The wait gave up by itself at the end of its slice.
    EXPECT_FALSE(os.waiting());
    EXPECT_FALSE(woken.get());
    EXPECT_EQ(os.signalCalls(), 1);
}

TEST_F(PollerWaitTest, AWaitThatTimesOutServesNothingAndWaitsAgain) {
    EXPECT_FALSE(poller.awaitSignal());
    os.signalEvent(kEvent);
    EXPECT_TRUE(poller.awaitSignal());
    EXPECT_EQ(os.waits(), 2);
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
    while (os.waits() == 0) std::this_thread::sleep_for(1ms);
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
