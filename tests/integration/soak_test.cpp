// A randomized run: host threads and every channel's callback call random
// functions on random channels, slaves signal at random, channels close and
// open again with slaves that move between them. Afterwards nothing may be
// stuck, every status must be one its function documents, and every channel
// must serve again.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "channel_fixture.h"
#include "notification_recorder.h"
#include "per_channel_callbacks.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr auto kSoakTime = 2s;
#else
constexpr auto kSoakTime = 5s;
#endif
// Far beyond any call: two full time-outs of an exchange and more.
constexpr auto kStuckAfter = kSoakTime + 60s;
constexpr int kHostThreads = 3;
constexpr int kSlavePaths = 12;

// The soak's own callbacks: they count and act, but read no text, since host
// threads write to the same channels while they run.
std::function<void()> soakAction;
std::atomic<long> soakCallbacks{0};

template <int Channel>
struct SoakCallback {
    static void ZOLT_CALL call() {
        ++soakCallbacks;
        if (soakAction) soakAction();
    }
};
constexpr auto kSoakCallbacks = perChannelCallbacks<SoakCallback>();

class Soak : public ChannelTest {
protected:
    void SetUp() override {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) recorderOf(channel).clear();
        for (auto& path : paths_) path = slaves.newSlave();
        for (auto& owner : owners_) owner = -1;
        for (auto& held : held_) held = -1;
    }
    ~Soak() override {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
            recorderOf(channel).setAction(nullptr);
            api.close(static_cast<std::int8_t>(channel));
        }
    }

    // One random call on a random channel; a status outside what its
    // function documents is counted.
    void randomCall(std::mt19937& random) {
        const auto channel = static_cast<std::int8_t>(random() % ZOLT_CHANNEL_COUNT);
        // Events outnumber closes, so pollers run more often than not.
        switch (random() % 16) {
            case 0:
            case 1: openWithAFreeSlave(channel, random); break;
            case 2: closeChannel(channel); break;
            case 3:
            case 4:
            case 5: expect(api.event(channel, random() % 8 == 0 ? nullptr : kSoakCallbacks[channel]), {0, 3}); break;
            case 6: expect(api.read(channel) != nullptr ? 0 : -1, {0}); break;
            case 7:
            case 8:
            case 9:
            case 10: expect(api.write(channel, "push>soak"), {0, 1, 2, 3, 4}); break;
            case 11: expect(api.write(channel, "signal>2"), {0, 1, 2, 3, 4}); break;
            default: expect(api.write(channel, "echo>soak"), {0, 1, 2, 3, 4}); break;
        }
        ++calls_;
    }

    // A slave path that no open channel uses, as far as this bookkeeping can
    // tell: a close racing with an open of the same channel may free a path
    // here that the library still holds, and then the library says 7.
    void openWithAFreeSlave(std::int8_t channel, std::mt19937& random) {
        const int path = static_cast<int>(random() % kSlavePaths);
        int free = -1;
        if (!owners_[path].compare_exchange_strong(free, channel)) return;
        const std::int8_t status = api.open(channel, paths_[path].c_str());
        expect(status, {0, 4, 7});
        if (status != ZOLT_OK) {
            owners_[path] = -1;
            return;
        }
        const int earlier = held_[channel].exchange(path);
        if (earlier >= 0) owners_[earlier] = -1;
    }

    void closeChannel(std::int8_t channel) {
        expect(api.close(channel), {0, 1, 2, 3, 4});
        ++closes_[channel];
        const int path = held_[channel].exchange(-1);
        if (path >= 0) owners_[path] = -1;
    }

    void expect(int status, std::initializer_list<int> documented) {
        for (const int allowed : documented) {
            if (status == allowed) return;
        }
        ++undocumented_;
    }

    std::array<std::string, kSlavePaths> paths_;
    std::array<std::atomic<int>, kSlavePaths> owners_;          // channel using each path, or -1
    std::array<std::atomic<int>, ZOLT_CHANNEL_COUNT> held_;     // path each channel opened last, or -1
    std::array<std::atomic<long>, ZOLT_CHANNEL_COUNT> closes_{};
    std::atomic<int> undocumented_{0};
    std::atomic<long> calls_{0};
};

TEST_F(Soak, RandomCallsFromHostsAndCallbacksLeaveNothingStuck) {
    std::atomic<bool> stop{false};
    // Set before any callback can run, and left alone until all have ended.
    soakAction = [&] {
        thread_local std::mt19937 random{std::random_device{}()};
        // Half of the callbacks call into the library themselves.
        if (!stop && random() % 2 == 0) randomCall(random);
    };

    std::vector<std::future<void>> hosts;
    for (int host = 0; host < kHostThreads; ++host) {
        hosts.push_back(std::async(std::launch::async, [&, host] {
            std::mt19937 random{static_cast<unsigned>(std::random_device{}()) + static_cast<unsigned>(host)};
            while (!stop) randomCall(random);
        }));
    }
    std::this_thread::sleep_for(kSoakTime);
    stop = true;
    for (auto& host : hosts) {
        if (host.wait_for(kStuckAfter) != std::future_status::ready) {
            std::fprintf(stderr, "Soak: a host thread is stuck in the library\n");
            std::_Exit(1);
        }
    }
    std::printf("Soak: %ld calls and %ld callbacks in %lld s\n", calls_.load(), soakCallbacks.load(),
                static_cast<long long>(kSoakTime.count()));
    EXPECT_EQ(undocumented_.load(), 0);
    EXPECT_GT(calls_.load(), 100);
    EXPECT_GT(soakCallbacks.load(), 0);

    // Every channel, closed and opened again, serves its host and its callback.
    // A close from this host thread waits for its channel's running callback,
    // which may still open another channel once: hence two rounds.
    for (int round = 0; round < 2; ++round) {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) closeChannel(static_cast<std::int8_t>(channel));
    }
    soakAction = nullptr;
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        recorderOf(channel).clear();
        openSlave(channel);
        EXPECT_EQ(write(channel, "echo>after"), ZOLT_OK);
        EXPECT_EQ(reply(channel), "after");
        // Each close suspended the poller once more; as many events let it run.
        for (long i = 0; i <= closes_[channel]; ++i) {
            ASSERT_EQ(api.event(static_cast<std::int8_t>(channel), callbackOf(channel)), ZOLT_OK);
        }
        ASSERT_EQ(write(channel, "push>after"), ZOLT_OK);
        EXPECT_TRUE(recorderOf(channel).waitForCalls(1)) << "channel " << channel;
    }
}

}  // namespace
}  // namespace zolt_test
