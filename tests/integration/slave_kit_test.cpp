// A slave built on the slave kit alone (zolt_slave.h): the README's example,
// driven through the real library. slave_paths_test.cpp tries it at awkward
// paths.
#include <string>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

using SlaveKit = ChannelTest;

TEST_F(SlaveKit, KeepsNotificationsForAskOldestFirstAndDropsThoseBeyondItsQueue) {
    // No callback registered: the poller stays suspended and never asks.
    const std::string slave = slaves.newSlaveFrom("MinimalSlave");
    ASSERT_EQ(api.open(2, slave.c_str()), ZOLT_OK);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(write(2, std::to_string(i)), ZOLT_OK);
    // The example's queue holds 16.
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(write(2, "Ask"), ZOLT_OK);
        EXPECT_EQ(reply(2), "greeted") << i;
    }
    ASSERT_EQ(write(2, "Ask"), ZOLT_OK);
    EXPECT_EQ(reply(2), "(nothing)");
    EXPECT_EQ(api.close(2), ZOLT_OK);
}

TEST_F(SlaveKit, CutsAReplyToWhatTheMailboxHolds) {
    const std::string slave = slaves.newSlaveFrom("MinimalSlave");
    ASSERT_EQ(api.open(3, slave.c_str()), ZOLT_OK);
    const std::string longest(ZOLT_MAX_TEXT_LENGTH, 'k');
    ASSERT_EQ(write(3, longest), ZOLT_OK);
    EXPECT_EQ(reply(3), ("Hello, " + longest).substr(0, ZOLT_MAX_TEXT_LENGTH));
    EXPECT_EQ(api.close(3), ZOLT_OK);
}

}  // namespace
}  // namespace zolt_test
