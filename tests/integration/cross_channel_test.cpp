// Hosts with several channels whose callbacks call into each other's
// channels, and a slave's stem that moves from one channel to another.
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "recorded_channel_fixture.h"
#include "rendezvous.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

class CrossChannel : public RecordedChannelTest {
protected:
    // Each channel's slave queues one notification and signals it.
    void notifyAll(int channels) {
        for (int channel = 0; channel < channels; ++channel) {
            ASSERT_EQ(write(channel, "push>note" + std::to_string(channel)), ZOLT_OK);
        }
    }

    // Every callback has returned, each having seen its own notification at
    // entry.
    void expectEachSawItsOwnNotification(int channels) {
        for (int channel = 0; channel < channels; ++channel) {
            ASSERT_TRUE(recorderOf(channel).waitForCalls(1)) << "callback of channel " << channel << " never returned";
            EXPECT_EQ(recorderOf(channel).texts().front(), "note" + std::to_string(channel));
        }
    }

    // Channels closed by the test are opened again to new slaves first.
    void expectEveryChannelServes(int channels) {
        for (int channel = 0; channel < channels; ++channel) {
            if (write(channel, "echo>again") == ZOLT_WRITE_NOT_OPEN) openSlave(channel);
            EXPECT_EQ(write(channel, "echo>again"), ZOLT_OK) << "channel " << channel;
            EXPECT_EQ(reply(channel), "again");
        }
    }
};

TEST_F(CrossChannel, CallbacksThatWriteToEachOthersChannelsReturn) {
    Rendezvous bothRunning{2};
    std::array<std::atomic<int>, 2> statuses{-1, -1};
    for (int channel = 0; channel < 2; ++channel) {
        openSlave(channel);
        recorderOf(channel).setAction([&, channel] {
            bothRunning.arriveAndWait();
            const int other = 1 - channel;
            statuses[channel] = write(other, "echo>from" + std::to_string(channel));
        });
        ASSERT_EQ(enable(channel), ZOLT_OK);
    }
    notifyAll(2);
    expectEachSawItsOwnNotification(2);
    EXPECT_EQ(statuses[0], ZOLT_OK);
    EXPECT_EQ(statuses[1], ZOLT_OK);
    expectEveryChannelServes(2);
}

TEST_F(CrossChannel, CallbacksThatRegisterOnAndCloseEachOthersChannelsReturn) {
    Rendezvous bothRunning{2};
    std::array<std::atomic<int>, 2> eventStatuses{-1, -1};
    std::array<std::atomic<int>, 2> closeStatuses{-1, -1};
    for (int channel = 0; channel < 2; ++channel) {
        openSlave(channel);
        recorderOf(channel).setAction([&, channel] {
            bothRunning.arriveAndWait();
            const auto other = static_cast<std::int8_t>(1 - channel);
            eventStatuses[channel] = api.event(other, callbackOf(other));
            closeStatuses[channel] = api.close(other);
        });
        ASSERT_EQ(enable(channel), ZOLT_OK);
    }
    notifyAll(2);
    expectEachSawItsOwnNotification(2);
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_EQ(eventStatuses[channel], ZOLT_OK);
        EXPECT_EQ(closeStatuses[channel], ZOLT_OK);
    }
    expectEveryChannelServes(2);
}

TEST_F(CrossChannel, ARingOfThreeCallbacksEachWritingToTheNextReturns) {
    Rendezvous allRunning{3};
    std::array<std::atomic<int>, 3> statuses{-1, -1, -1};
    for (int channel = 0; channel < 3; ++channel) {
        openSlave(channel);
        recorderOf(channel).setAction([&, channel] {
            allRunning.arriveAndWait();
            statuses[channel] = write((channel + 1) % 3, "echo>ring");
        });
        ASSERT_EQ(enable(channel), ZOLT_OK);
    }
    notifyAll(3);
    expectEachSawItsOwnNotification(3);
    for (const auto& status : statuses) EXPECT_EQ(status, ZOLT_OK);
    expectEveryChannelServes(3);
}

TEST_F(CrossChannel, ACallbackClosingItsOwnChannelWhileAHostClosesItToo) {
    Rendezvous closing{2};
    std::atomic<int> insideStatus{-1};
    openSlave(0);
    recorderOf(0).setAction([&] {
        closing.arriveAndWait();
        insideStatus = api.close(0);
    });
    ASSERT_EQ(enable(0), ZOLT_OK);
    notifyAll(1);
    // The host's close waits for the callback; the callback's own close must
    // not wait for the host's.
    ASSERT_TRUE(closing.arriveAndWait());
    const std::int8_t hostStatus = api.close(0);
    ASSERT_TRUE(recorderOf(0).waitForCalls(1));
    // One of the two closes reached the slave; the other found it closed.
    EXPECT_EQ(std::min<int>(insideStatus, hostStatus), ZOLT_OK);
    EXPECT_EQ(std::max<int>(insideStatus, hostStatus), ZOLT_WRITE_NOT_OPEN);
    expectEveryChannelServes(1);
}

TEST_F(CrossChannel, AStemMovedToAnotherChannelDeliversThereAndOnlyThere) {
    const std::string path = slaves.newSlave();
    ASSERT_EQ(api.open(0, path.c_str()), ZOLT_OK);
    ASSERT_EQ(enable(0), ZOLT_OK);
    // A notification served: channel 0's poller runs, and waits on the
    // stem's event again right after.
    ASSERT_EQ(write(0, "push>before the move"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(1));
    ASSERT_EQ(api.close(0), ZOLT_OK);

    ASSERT_EQ(api.open(1, path.c_str()), ZOLT_OK);
    ASSERT_EQ(enable(1), ZOLT_OK);
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(write(1, "push>round" + std::to_string(round)), ZOLT_OK);
        ASSERT_TRUE(recorderOf(1).waitForCalls(round + 1)) << "round " << round << " was lost";
    }
    EXPECT_EQ(recorderOf(1).texts().back(), "round4");
    EXPECT_EQ(recorderOf(0).calls(), 1u);

    // The old channel, with a slave of its own, delivers again; so does the new one.
    openSlave(0);
    ASSERT_EQ(enable(0), ZOLT_OK);
    ASSERT_EQ(write(0, "push>old channel"), ZOLT_OK);
    ASSERT_EQ(write(1, "push>new channel"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(2));
    ASSERT_TRUE(recorderOf(1).waitForCalls(kRounds + 1));
    EXPECT_EQ(recorderOf(0).texts().back(), "old channel");
    EXPECT_EQ(recorderOf(1).texts().back(), "new channel");
    api.close(1);
}

// Someone else waiting on the event (another process, a broken slave) takes
// the signal by which close ends the poller's wait: close returns all the same.
TEST_F(CrossChannel, CloseReturnsWhileAnotherWaiterTakesTheEventsSignals) {
    const std::string path = slaves.newSlave();
    ASSERT_EQ(api.open(0, path.c_str()), ZOLT_OK);
    // The poller's thread, from a callback that runs on it, before anyone
    // else waits on the event.
    std::atomic<int> poller{0};
    recorderOf(0).setAction([&] { poller = currentThreadId(); });
    ASSERT_EQ(enable(0), ZOLT_OK);
    ASSERT_EQ(write(0, "push>whose thread"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(1));
    SignalThief thief(SlaveFolder::stemOf(path));
    ASSERT_TRUE(thief.opened());
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            ASSERT_EQ(api.open(0, path.c_str()), ZOLT_OK);
            ASSERT_EQ(enable(0), ZOLT_OK);
        }
        // Resumed, the poller waits on the event; or it still does, where the
        // thief took the last close's post.
        ASSERT_TRUE(waitUntilWaitingOnSharedObject(poller, 10s)) << "round " << round;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(api.close(0), ZOLT_OK);
        // Generous: the bound is a tenth of a second; before, close never returned.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    }
}

}  // namespace
}  // namespace zolt_test
