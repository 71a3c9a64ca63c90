// Commands and replies through real slaves, including slaves that misbehave.
// Time-outs here take their real 4000 sleeps; only their outcome is checked.
#include <string>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

using Exchange = ChannelTest;

TEST_F(Exchange, TextsUpToTheLimitTravelIntactBothWays) {
    openSlave(0);
    const std::string longest(1023 - 5, 'x');  // "echo>" plus the text is 1023 bytes
    ASSERT_EQ(write(0, "echo>" + longest), ZOLT_OK);
    EXPECT_EQ(reply(0), longest);
    ASSERT_EQ(write(0, "echo>"), ZOLT_OK);
    EXPECT_EQ(reply(0), "");
    ASSERT_EQ(write(0, "LoadConfiguration>Kwarne.cfg"), ZOLT_OK);
    EXPECT_EQ(reply(0), "ok:LoadConfiguration>Kwarne.cfg");
}

TEST_F(Exchange, CommandsTheMailboxCannotCarryAreRefusedWithoutAnExchange) {
    openSlave(1);
    ASSERT_EQ(write(1, "echo>before"), ZOLT_OK);
    EXPECT_EQ(write(1, std::string(1024, 'c')), ZOLT_WRITE_COMMAND_REFUSED);
    EXPECT_EQ(api.write(1, nullptr), ZOLT_WRITE_COMMAND_REFUSED);
    EXPECT_EQ(reply(1), "before");
    // The slave saw neither.
    ASSERT_EQ(write(1, "count"), ZOLT_OK);
    EXPECT_EQ(reply(1), "1");
}

TEST_F(Exchange, AReplyWithoutTerminatorIsCutToTheLongestText) {
    openSlave(2);
    ASSERT_EQ(write(2, "nonul"), ZOLT_OK);
    const std::string text = reply(2);
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.find_first_not_of('Z'), std::string::npos);
}

TEST_F(Exchange, TheFirstCommandWaitsForASlowStartingSlave) {
    setEnvironment("ZOLT_TEST_SLAVE_START_DELAY_MS", "300");
    openSlave(3);
    clearEnvironment("ZOLT_TEST_SLAVE_START_DELAY_MS");
    ASSERT_EQ(write(3, "echo>ready"), ZOLT_OK);
    EXPECT_EQ(reply(3), "ready");
}

TEST_F(Exchange, ASlaveThatDiesMidExchangeTimesOutThenReportsItsEnd) {
    openSlave(4);
    ASSERT_EQ(write(4, "echo>last good"), ZOLT_OK);
    EXPECT_EQ(write(4, "exit>0"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(write(4, "echo>too late"), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_EQ(reply(4), "last good");
}

TEST_F(Exchange, ASilentSlaveTimesOutAndThenKeepsTheMailboxBusy) {
    openSlave(5);
    EXPECT_EQ(write(5, "mute"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(write(5, "echo>x"), ZOLT_WRITE_MAILBOX_BUSY);
}

TEST_F(Exchange, ALateReplyIsDroppedAndTheNextCommandGoesThrough) {
    openSlave(6);
    // Late for the first wait (4000 sleeps, a little over 4 s, up to 8 s on
    // a busy machine), yet inside the next write's wait for the mailbox.
    EXPECT_EQ(write(6, "sleep>8000"), ZOLT_WRITE_REPLY_TIMEOUT);
    ASSERT_EQ(write(6, "echo>next"), ZOLT_OK);
    EXPECT_EQ(reply(6), "next");
}

}  // namespace
}  // namespace zolt_test
