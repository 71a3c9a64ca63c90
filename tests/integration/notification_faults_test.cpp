// Notifications from slaves and callbacks that misbehave: an event signalled
// thousands of times, a callback that closes its own channel, a slave that
// dies when asked for a notification. Each test leaves its channels as it
// found them, suspended once, so they may run in one process after the
// notification tests.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "channel_fixture.h"
#include "per_channel_callbacks.h"
#include "process_probe.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

// What the callbacks of this file saw, per channel.
struct Seen {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> texts;
    std::function<void()> action;  // runs inside the callback, after the read
};
Seen seen[ZOLT_CHANNEL_COUNT];

template <int Channel>
void ZOLT_CALL record() {
    Seen& mine = seen[Channel];
    const std::string text = zolt().read(Channel);
    std::function<void()> action;
    {
        std::lock_guard guard(mine.lock);
        action = mine.action;
    }
    if (action) action();
    {
        std::lock_guard guard(mine.lock);
        mine.texts.push_back(text);
    }
    mine.changed.notify_all();
}

template <int Channel>
struct Record {
    static void ZOLT_CALL call() { record<Channel>(); }
};
constexpr auto recorders = perChannelCallbacks<Record>();

class NotificationFaults : public ChannelTest {
protected:
    void SetUp() override {
        for (Seen& channel : seen) {
            std::lock_guard guard(channel.lock);
            channel.texts.clear();
            channel.action = nullptr;
        }
    }

    // Opens `channel` to a logging slave and lets its poller run: one event
    // for the one close that each test ends with.
    std::string openAndEnable(int channel, const std::string& path = {}) {
        const std::string slave = path.empty() ? slaves.newSlave() : path;
        logs_[channel] = slave + ".log";
        setEnvironment("ZOLT_TEST_SLAVE_LOG", logs_[channel].c_str());
        EXPECT_EQ(api.open(static_cast<std::int8_t>(channel), slave.c_str()), ZOLT_OK);
        clearEnvironment("ZOLT_TEST_SLAVE_LOG");
        EXPECT_EQ(api.event(static_cast<std::int8_t>(channel), recorders[channel]), ZOLT_OK);
        return slave;
    }

    // Another channel answers while this one misbehaves; enabled without a
    // callback, so its close leaves it suspended once, as it was.
    void expectServes(int channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        ASSERT_EQ(api.open(static_cast<std::int8_t>(channel), slaves.newSlave().c_str()), ZOLT_OK);
        ASSERT_EQ(api.event(static_cast<std::int8_t>(channel), nullptr), ZOLT_OK);
        ASSERT_EQ(write(channel, "echo>still here"), ZOLT_OK);
        EXPECT_EQ(reply(channel), "still here");
        EXPECT_EQ(api.close(static_cast<std::int8_t>(channel)), ZOLT_OK);
    }

    std::vector<std::string> texts(int channel) {
        std::lock_guard guard(seen[channel].lock);
        return seen[channel].texts;
    }

    bool waitForCalls(int channel, std::size_t count) {
        std::unique_lock guard(seen[channel].lock);
        return seen[channel].changed.wait_for(guard, 10s, [&] { return seen[channel].texts.size() >= count; });
    }

    void setAction(int channel, std::function<void()> action) {
        std::lock_guard guard(seen[channel].lock);
        seen[channel].action = std::move(action);
    }

    int asks(int channel) const {
        std::ifstream log(logs_[channel]);
        int count = 0;
        for (std::string line; std::getline(log, line);) count += line == "Ask";
        return count;
    }

    // The "Ask" count once it has stopped changing for a while.
    int settledAsks(int channel) const {
        for (int last = -1, now = asks(channel);; last = now, now = asks(channel)) {
            if (now == last) return now;
            std::this_thread::sleep_for(300ms);
        }
    }

    std::string logs_[ZOLT_CHANNEL_COUNT];
};

TEST_F(NotificationFaults, AnEventSignalledThousandsOfTimesCostsAFewSeriesAndLosesNothing) {
    openAndEnable(0);
    for (const char* text : {"notify>one", "notify>two", "notify>three"}) ASSERT_EQ(write(0, text), ZOLT_OK);
    ASSERT_EQ(write(0, "signal>5000"), ZOLT_OK);
    ASSERT_TRUE(waitForCalls(0, 3));

    const int asked = settledAsks(0);
    EXPECT_EQ(texts(0), (std::vector<std::string>{"one", "two", "three"}));
    // Three notifications and an end marker per series: far from one series
    // per signal.
    EXPECT_GE(asked, 4);
    EXPECT_LE(asked, 40);
    ASSERT_EQ(write(0, "echo>calm again"), ZOLT_OK);
    EXPECT_EQ(reply(0), "calm again");
    expectServes(1);
    EXPECT_EQ(api.close(0), ZOLT_OK);
}

TEST_F(NotificationFaults, ACallbackMayCloseItsOwnChannelAndNoCallbackFollows) {
    const std::string slave = openAndEnable(2);
    std::atomic<int> closeStatus{-1};
    setAction(2, [&] {
        if (closeStatus == -1) closeStatus = api.close(2);
    });
    ASSERT_EQ(write(2, "notify>first"), ZOLT_OK);
    ASSERT_EQ(write(2, "push>second"), ZOLT_OK);
    ASSERT_TRUE(waitForCalls(2, 1));

    EXPECT_EQ(closeStatus.load(), ZOLT_OK);
    EXPECT_EQ(write(2, "echo>closed"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(settledAsks(2), 1) << "the poller asked again after the close";
    EXPECT_EQ(texts(2), std::vector<std::string>{"first"});
    expectServes(3);

    // The close suspended the poller once more: one event lets it run again.
    setAction(2, nullptr);
    openAndEnable(2, slave);
    ASSERT_EQ(write(2, "push>after reopen"), ZOLT_OK);
    ASSERT_TRUE(waitForCalls(2, 2));
    EXPECT_EQ(texts(2), (std::vector<std::string>{"first", "after reopen"}));
    EXPECT_EQ(api.close(2), ZOLT_OK);
}

TEST_F(NotificationFaults, ASlaveThatDiesWhenAskedHandsOutNoStaleTextAndReportsItsEnd) {
    openAndEnable(4);
    ASSERT_EQ(write(4, "echo>last reply"), ZOLT_OK);
    ASSERT_EQ(write(4, "notify>never delivered"), ZOLT_OK);
    ASSERT_EQ(write(4, "crash>ask"), ZOLT_OK);
    ASSERT_EQ(write(4, "signal>1"), ZOLT_OK);
    ASSERT_TRUE(waitForLine(logs_[4], "Ask", 10s));

    // The poller waits out its "Ask" meanwhile; other channels do not wait.
    expectServes(5);
    EXPECT_EQ(write(4, "echo>anyone?"), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_TRUE(texts(4).empty());
    EXPECT_EQ(api.close(4), ZOLT_WRITE_SLAVE_ENDED);
}

}  // namespace
}  // namespace zolt_test
