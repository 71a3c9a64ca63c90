// Eight channels at once, each sending texts of every length and checking
// each reply byte for byte, and letting its slave's notifications through
// its poller. A side that saw the state byte change before the text behind
// it (stores or loads reordered, as a weakly ordered processor may) shows up
// as a reply that is not the text sent, a torn text, or a notification lost
// or out of order.
#include <array>
#include <string>
#include <thread>
#include <vector>

#include "recorded_channel_fixture.h"

namespace zolt_test {
namespace {

constexpr int kRounds = 5;
constexpr int kExchangesPerRound = 50;
constexpr int kNotificationsPerRound = 12;

// "c<channel>:<kind><number>:" and a run of one letter whose length moves
// over the whole text area, then a full stop: a stale or torn copy differs.
std::string text(int channel, char kind, int number) {
    const auto length = static_cast<std::size_t>(number * 37 % 1000);
    return "c" + std::to_string(channel) + ":" + kind + std::to_string(number) + ":" +
           std::string(length, static_cast<char>('a' + number % 26)) + ".";
}

using MailboxOrder = RecordedChannelTest;

// Each channel's thread runs rounds of its own pace, so the channels' rounds
// interleave at random: exchanges of the host thread, each reply checked,
// then notifications that the slave queues and the poller asks for. The
// reply text is the channel's one buffer, so the two never overlap on one
// channel: clearing the callback waits for the poller's last "Ask", and the
// thread waits for the callbacks before its next round.
TEST_F(MailboxOrder, EightChannelsMixExchangesAndNotificationsWithoutATornText) {
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) openSlave(channel);
    std::array<std::string, ZOLT_CHANNEL_COUNT> firstWrong;
    std::array<int, ZOLT_CHANNEL_COUNT> wrong{};
    std::array<bool, ZOLT_CHANNEL_COUNT> allDelivered{};
    std::vector<std::thread> hosts;
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        hosts.emplace_back([&, channel] {
            const auto index = static_cast<std::int8_t>(channel);
            const auto expect = [&](std::int8_t status, const std::string& got, const std::string& wanted) {
                if (status == ZOLT_OK && got == wanted) return;
                if (wrong[channel]++ == 0) firstWrong[channel] = std::to_string(status) + " " + got;
            };
            int notified = 0;
            allDelivered[channel] = true;
            for (int round = 0; round < kRounds; ++round) {
                expect(api.event(index, nullptr), "", "");
                for (int i = 0; i < kExchangesPerRound; ++i) {
                    const std::string sent = text(channel, 'e', round * kExchangesPerRound + i);
                    const std::int8_t status = write(channel, "echo>" + sent);
                    expect(status, reply(channel), sent);
                }
                for (int i = 0; i < kNotificationsPerRound; ++i) {
                    const std::int8_t status = write(channel, "notify>" + text(channel, 'n', notified++));
                    expect(status, reply(channel), "queued");
                }
                expect(enable(channel), "", "");
                expect(write(channel, "signal>1"), "", "");
                allDelivered[channel] =
                    allDelivered[channel] && recorderOf(channel).waitForCalls(static_cast<std::size_t>(notified));
            }
        });
    }
    for (std::thread& host : hosts) host.join();

    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        EXPECT_EQ(wrong[channel], 0) << "channel " << channel << ", first: " << firstWrong[channel];
        EXPECT_TRUE(allDelivered[channel]) << "channel " << channel;
        const std::vector<std::string> seen = recorderOf(channel).texts();
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(kRounds * kNotificationsPerRound)) << "channel " << channel;
        for (int number = 0; number < kRounds * kNotificationsPerRound; ++number) {
            EXPECT_EQ(seen[number], text(channel, 'n', number)) << "channel " << channel;
        }
    }
}

}  // namespace
}  // namespace zolt_test
