// Notifications from real slaves through the channel's poller thread. Each
// test has a channel of its own (the two on channel 4 each start and end with
// an event then a close), so every poller starts suspended once, whichever
// tests ran before in this process.
#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "channel_fixture.h"
#include "notification_recorder.h"
#include "rendezvous.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

class Notifications : public ChannelTest {
protected:
    void SetUp() override {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) recorderOf(channel).clear();
    }

    // Opens `channel` to a test slave that logs every command it receives.
    std::string openLoggedSlave(int channel) {
        const std::string path = slaves.newSlave();
        logs_[channel] = path + ".log";
        setEnvironment("ZOLT_TEST_SLAVE_LOG", logs_[channel].c_str());
        const std::string opened = reopen(channel, path);
        clearEnvironment("ZOLT_TEST_SLAVE_LOG");
        return opened;
    }

    std::string reopen(int channel, const std::string& path) {
        EXPECT_EQ(api.open(static_cast<std::int8_t>(channel), path.c_str()), ZOLT_OK);
        closeAtEnd_.insert(channel);
        return path;
    }

    std::int8_t enable(int channel) { return api.event(static_cast<std::int8_t>(channel), callbackOf(channel)); }

    // Every command the channel's slave received, in order.
    std::vector<std::string> received(int channel) const {
        std::ifstream log(logs_[channel]);
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        return lines;
    }

    int asks(int channel) const {
        int count = 0;
        for (const std::string& command : received(channel)) count += command == "Ask";
        return count;
    }

    // Waits for the slave to have seen `expected` "Ask" commands, then a
    // while longer to catch any that should not come.
    int asksOnceSettled(int channel, int expected) const {
        for (int tries = 0; tries < 1000 && asks(channel) < expected; ++tries) std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(200ms);
        return asks(channel);
    }

    ~Notifications() override {
        for (const int channel : closeAtEnd_) {
            recorderOf(channel).setAction(nullptr);
            api.close(static_cast<std::int8_t>(channel));
        }
    }

private:
    std::string logs_[ZOLT_CHANNEL_COUNT];
    std::set<int> closeAtEnd_;  // each once: every close suspends the poller once more
};

TEST_F(Notifications, PendingNotificationsReachTheCallbackInOrderEachWithItsOwnText) {
    openLoggedSlave(0);
    ASSERT_EQ(enable(0), ZOLT_OK);
    for (const char* text : {"notify>one", "notify>two", "notify>three"}) ASSERT_EQ(write(0, text), ZOLT_OK);
    ASSERT_EQ(write(0, "signal>1"), ZOLT_OK);

    ASSERT_TRUE(recorderOf(0).waitForCalls(3));
    EXPECT_EQ(asksOnceSettled(0, 4), 4);
    EXPECT_EQ(recorderOf(0).texts(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(Notifications, AWakeUpWithNothingPendingCostsOneAskAndTheCallbackMayWrite) {
    openLoggedSlave(1);
    ASSERT_EQ(enable(1), ZOLT_OK);
    ASSERT_EQ(write(1, "signal>1"), ZOLT_OK);
    EXPECT_EQ(asksOnceSettled(1, 1), 1);
    EXPECT_EQ(recorderOf(1).calls(), 0u);

    // The callback runs under the channel's lock, which lets its own writes in.
    std::atomic<int> innerStatus{-1};
    std::string innerReply;
    recorderOf(1).setAction([&] {
        innerStatus = write(1, "echo>inner");
        innerReply = reply(1);
    });
    ASSERT_EQ(write(1, "push>outer"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(1).waitForCalls(1));
    EXPECT_EQ(asksOnceSettled(1, 3), 3);
    EXPECT_EQ(innerStatus.load(), ZOLT_OK);
    EXPECT_EQ(innerReply, "inner");
    EXPECT_EQ(recorderOf(1).texts(), std::vector<std::string>{"outer"});
}

TEST_F(Notifications, SignalsDuringASeriesCauseExactlyOneMoreSeries) {
    const std::string slave = openLoggedSlave(2);
    ASSERT_EQ(enable(2), ZOLT_OK);
    std::atomic<bool> signalled{false};
    recorderOf(2).setAction([&] {
        if (!signalled.exchange(true)) {
            EXPECT_TRUE(signalEvent(SlaveFolder::stemOf(slave), 5));
        }
    });
    ASSERT_EQ(write(2, "push>first"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(2).waitForCalls(1));
    // "first" and "(nothing)", then one more series that finds nothing.
    EXPECT_EQ(asksOnceSettled(2, 3), 3);
    EXPECT_EQ(recorderOf(2).calls(), 1u);
}

TEST_F(Notifications, OnlyTheExactTextNothingEndsASeries) {
    openLoggedSlave(3);
    ASSERT_EQ(enable(3), ZOLT_OK);
    for (const char* text : {"notify>(Nothing)", "notify>still (nothing)", "notify>(nothing) "}) {
        ASSERT_EQ(write(3, text), ZOLT_OK);
    }
    ASSERT_EQ(write(3, "signal>1"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(3).waitForCalls(3));
    EXPECT_EQ(asksOnceSettled(3, 4), 4);
    EXPECT_EQ(recorderOf(3).texts(), (std::vector<std::string>{"(Nothing)", "still (nothing)", "(nothing) "}));
}

TEST_F(Notifications, AfterOpenEventCloseTheNextOpenAndEventReceiveNotificationsAgain) {
    const std::string slave = openLoggedSlave(4);
    ASSERT_EQ(enable(4), ZOLT_OK);
    ASSERT_EQ(api.close(4), ZOLT_OK);
    reopen(4, slave);
    ASSERT_EQ(enable(4), ZOLT_OK);
    ASSERT_EQ(write(4, "push>after reopen"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(4).waitForCalls(1));
    EXPECT_EQ(recorderOf(4).texts(), std::vector<std::string>{"after reopen"});
}

TEST_F(Notifications, AReopenWithAnotherSlaveReceivesItsNotifications) {
    openLoggedSlave(4);
    ASSERT_EQ(enable(4), ZOLT_OK);
    // A notification served: the poller runs, and waits on the first
    // slave's event again right after.
    ASSERT_EQ(write(4, "push>from the first slave"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(4).waitForCalls(1));
    ASSERT_EQ(api.close(4), ZOLT_OK);
    openLoggedSlave(4);
    ASSERT_EQ(enable(4), ZOLT_OK);
    ASSERT_EQ(write(4, "push>from the second slave"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(4).waitForCalls(2));
    EXPECT_EQ(recorderOf(4).texts(),
              (std::vector<std::string>{"from the first slave", "from the second slave"}));
}

TEST_F(Notifications, ACloseBeforeTheFirstEventTakesOneMoreEventToStartThePoller) {
    const std::string slave = openLoggedSlave(5);
    ASSERT_EQ(api.close(5), ZOLT_OK);
    EXPECT_EQ(api.event(5, callbackOf(5)), ZOLT_EVENT_NOT_OPEN);  // closed: changes nothing
    reopen(5, slave);
    ASSERT_EQ(enable(5), ZOLT_OK);
    ASSERT_EQ(write(5, "push>waiting"), ZOLT_OK);
    std::this_thread::sleep_for(300ms);  // a grace: nothing may come
    EXPECT_EQ(recorderOf(5).calls(), 0u) << "the poller ran while still suspended";

    ASSERT_EQ(enable(5), ZOLT_OK);
    ASSERT_TRUE(recorderOf(5).waitForCalls(1));
    EXPECT_EQ(recorderOf(5).texts(), std::vector<std::string>{"waiting"});
}

// A close that finds its channel not open counts no suspension: a defensive
// close must not silence notifications for good.
TEST_F(Notifications, StrayClosesLeaveNotificationsOn) {
    EXPECT_EQ(api.close(3), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(api.close(3), ZOLT_WRITE_NOT_OPEN);
    const std::string slave = openLoggedSlave(3);
    ASSERT_EQ(enable(3), ZOLT_OK);
    ASSERT_EQ(write(3, "push>first"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(3).waitForCalls(1));

    // Closed once the work is done, then twice more for good measure.
    ASSERT_EQ(api.close(3), ZOLT_OK);
    EXPECT_EQ(api.close(3), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(api.close(3), ZOLT_WRITE_NOT_OPEN);
    reopen(3, slave);
    ASSERT_EQ(enable(3), ZOLT_OK);
    ASSERT_EQ(write(3, "push>second"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(3).waitForCalls(2));
    EXPECT_EQ(recorderOf(3).texts(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(Notifications, HostWritesAndNotificationsShareAChannelWithoutLossOrOverlap) {
    openLoggedSlave(6);
    ASSERT_EQ(enable(6), ZOLT_OK);
    constexpr int kCommands = 400;
    std::vector<std::string> sent;
    std::vector<std::string> pushed;
    int failed = 0;
    int wrongReplies = 0;
    for (int i = 0; i < kCommands; ++i) {
        // Every fourth command makes the slave queue a notification and signal.
        const bool push = i % 4 == 0;
        const std::string text = (push ? "push>note " : "echo>command ") + std::to_string(i);
        if (push) pushed.push_back("note " + std::to_string(i));
        sent.push_back(text);
        failed += write(6, text) != ZOLT_OK;
        // The poller's "Ask" in between never replaces the host's reply.
        wrongReplies += reply(6) != (push ? "pushed" : "command " + std::to_string(i));
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(wrongReplies, 0);
    ASSERT_TRUE(recorderOf(6).waitForCalls(pushed.size()));
    EXPECT_EQ(recorderOf(6).texts(), pushed);

    std::vector<std::string> hostCommands;
    for (const std::string& command : received(6)) {
        if (command != "Ask") hostCommands.push_back(command);
    }
    EXPECT_EQ(hostCommands, sent);
}

// A host thread's write while the callback runs: the host reads its reply,
// and the callback, reading after it, still its notification.
TEST_F(Notifications, AHostWriteDuringTheCallbackLeavesTheCallbackItsNotification) {
    openLoggedSlave(5);
    ASSERT_EQ(enable(5), ZOLT_OK);
    Rendezvous inCallback(2);
    Rendezvous written(2);
    std::string readAfterTheHostsWrite;
    recorderOf(5).setAction([&] {
        inCallback.arriveAndWait();
        written.arriveAndWait();
        readAfterTheHostsWrite = api.read(5);
    });
    ASSERT_EQ(write(5, "push>the notification"), ZOLT_OK);
    ASSERT_TRUE(inCallback.arriveAndWait()) << "no callback came";
    EXPECT_EQ(write(5, "echo>the host's reply"), ZOLT_OK);
    EXPECT_EQ(reply(5), "the host's reply");
    ASSERT_TRUE(written.arriveAndWait());
    ASSERT_TRUE(recorderOf(5).waitForCalls(1));
    EXPECT_EQ(recorderOf(5).texts(), std::vector<std::string>{"the notification"});
    EXPECT_EQ(readAfterTheHostsWrite, "the notification");
    EXPECT_EQ(reply(5), "the host's reply");
}

TEST_F(Notifications, CloseWaitsForARunningCallbackAndNoneStartsAfterIt) {
    openLoggedSlave(7);
    ASSERT_EQ(enable(7), ZOLT_OK);
    Rendezvous inCallback(2);
    Rendezvous release(2);
    std::atomic<bool> callbackReturned{false};
    recorderOf(7).setAction([&] {
        inCallback.arriveAndWait();
        release.arriveAndWait(30s);
        callbackReturned = true;
    });
    ASSERT_EQ(write(7, "notify>second"), ZOLT_OK);
    ASSERT_EQ(write(7, "push>first"), ZOLT_OK);
    if (!inCallback.arriveAndWait()) {
        release.arriveAndWait(0ms);
        FAIL() << "no callback came";
    }

    std::atomic<bool> closed{false};
    bool callbackDoneBeforeClose = false;
    // Told without waiting, so that the closer's next wait is close's own.
    std::promise<int> closerThread;
    std::future<int> closerKnown = closerThread.get_future();
    std::thread closer([&] {
        closerThread.set_value(currentThreadId());
        api.close(7);
        callbackDoneBeforeClose = callbackReturned;
        closed = true;
    });
    // Close has gone as far as it can while the callback runs: it blocks, or
    // it returned, which it must not.
    EXPECT_EQ(closerKnown.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(waitUntilBlockedOrDone(closerKnown.get(), closed, 10s)) << "close neither blocked nor returned";
    EXPECT_FALSE(closed) << "close returned while the callback still ran";
    release.arriveAndWait();
    closer.join();
    EXPECT_TRUE(callbackDoneBeforeClose);
    // "second" was pending, but the channel closed before it was asked for.
    // Nothing more may come: no thread has a state to wait for, so a grace.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorderOf(7).calls(), 1u);
}

}  // namespace
}  // namespace zolt_test
