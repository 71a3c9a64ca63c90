// Eight channels at once, each with a host thread that sends texts of every
// length and checks each reply byte for byte, while its slave queues
// notifications that the poller asks for and hands to the callback. A side
// that saw the state byte change before the text behind it (stores or loads
// reordered, as a weakly ordered processor may) shows up as a reply that is
// not the text sent, a torn text, or a notification lost or out of order.
#include <array>
#include <atomic>
#include <charconv>
#include <string>
#include <thread>
#include <vector>

#include "recorded_channel_fixture.h"

namespace zolt_test {
namespace {

constexpr int kExchanges = 300;
constexpr int kEveryNthPushes = 5;
constexpr int kNotifications = kExchanges / kEveryNthPushes;

// "c<channel>:<kind><number>:" and a run of one letter whose length moves
// over the whole text area, then a full stop: a stale or torn copy differs.
std::string text(int channel, char kind, int number) {
    const auto length = static_cast<std::size_t>(number * 37 % 1000);
    return "c" + std::to_string(channel) + ":" + kind + std::to_string(number) + ":" +
           std::string(length, static_cast<char>('a' + number % 26)) + ".";
}

// The number of a whole text of this channel and kind, or -1.
int numberIn(const std::string& seen, int channel, char kind) {
    const std::string prefix = "c" + std::to_string(channel) + ":" + kind;
    if (seen.rfind(prefix, 0) != 0) return -1;
    int number = -1;
    const char* digits = seen.data() + prefix.size();
    if (std::from_chars(digits, seen.data() + seen.size(), number).ec != std::errc()) return -1;
    return number >= 0 && seen == text(channel, kind, number) ? number : -1;
}

using MailboxOrder = RecordedChannelTest;

TEST_F(MailboxOrder, EightChannelsMixExchangesAndNotificationsWithoutATornText) {
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        openSlave(channel);
        ASSERT_EQ(enable(channel), ZOLT_OK);
    }
    std::array<std::string, ZOLT_CHANNEL_COUNT> firstWrongReply;
    std::array<int, ZOLT_CHANNEL_COUNT> wrongReplies{};
    std::vector<std::thread> hosts;
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        hosts.emplace_back([&, channel] {
            for (int i = 0; i < kExchanges; ++i) {
                const bool push = i % kEveryNthPushes == 0;
                const std::string sent = push ? text(channel, 'n', i / kEveryNthPushes) : text(channel, 'e', i);
                const std::int8_t status = write(channel, (push ? "push>" : "echo>") + sent);
                const std::string got = reply(channel);
                if (status != ZOLT_OK || got != (push ? "pushed" : sent)) {
                    if (wrongReplies[channel]++ == 0) firstWrongReply[channel] = std::to_string(status) + " " + got;
                }
            }
        });
    }
    for (std::thread& host : hosts) host.join();

    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        EXPECT_EQ(wrongReplies[channel], 0) << "channel " << channel << ", first: " << firstWrongReply[channel];
        ASSERT_TRUE(recorderOf(channel).waitForCalls(kNotifications)) << "channel " << channel;
        EXPECT_EQ(recorderOf(channel).calls(), static_cast<std::size_t>(kNotifications));
        // A callback reads the reply text at its start, which a host write
        // on its channel may have replaced since the "Ask": then it holds
        // that write's whole reply. Notifications come in the order pushed.
        int lastNotification = -1;
        for (const std::string& seen : recorderOf(channel).texts()) {
            const int number = numberIn(seen, channel, 'n');
            if (number >= 0) {
                EXPECT_GT(number, lastNotification) << "channel " << channel;
                lastNotification = number;
            } else {
                EXPECT_TRUE(seen == "pushed" || numberIn(seen, channel, 'e') >= 0)
                    << "channel " << channel << ": " << seen;
            }
        }
    }
}

}  // namespace
}  // namespace zolt_test
