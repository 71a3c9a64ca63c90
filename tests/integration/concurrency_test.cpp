// Several threads on the library at once.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

using Concurrency = ChannelTest;

TEST_F(Concurrency, EightChannelsExchangeAtOnceWithoutMixingReplies) {
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) openSlave(channel);
    constexpr int kExchanges = 150;
    std::atomic<int> failures{0};
    std::vector<std::thread> hosts;
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        hosts.emplace_back([&, channel] {
            for (int i = 0; i < kExchanges; ++i) {
                const std::string text = std::to_string(channel) + ":" + std::to_string(i);
                if (write(channel, "echo>" + text) != ZOLT_OK || reply(channel) != text) ++failures;
            }
        });
    }
    for (std::thread& host : hosts) host.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(Concurrency, ExchangesOnOneChannelNeverOverlap) {
    openSlave(0);
    constexpr int kThreads = 4;
    constexpr int kExchanges = 100;
    std::atomic<int> failures{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&] {
            for (int i = 0; i < kExchanges; ++i) {
                if (write(0, "echo>x") != ZOLT_OK) ++failures;
            }
        });
    }
    for (std::thread& host : hosts) host.join();
    EXPECT_EQ(failures.load(), 0);
    // Every command reached the slave exactly once.
    ASSERT_EQ(write(0, "count"), ZOLT_OK);
    EXPECT_EQ(reply(0), std::to_string(kThreads * kExchanges));
}

}  // namespace
}  // namespace zolt_test
