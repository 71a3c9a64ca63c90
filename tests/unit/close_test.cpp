#include "channel_fixture.h"

namespace {

void ignoreNotification() {}

using CloseTest = ChannelTest;

TEST_F(CloseTest, SendsCloseAndStoresItsReply) {
    openChannel();
    ASSERT_EQ(library.event(0, &ignoreNotification), ZOLT_OK);
    slave.answer("bye");
    EXPECT_EQ(library.close(0), ZOLT_OK);
    EXPECT_EQ(slave.commands, std::vector<std::string>{"Close"});
    EXPECT_STREQ(library.read(0), "bye");

    const zolt::ChannelRecord& record = library.record(0);
    EXPECT_FALSE(record.open);
    EXPECT_EQ(record.callback.load(), nullptr);
    EXPECT_EQ(record.poller.event(), 0);
    EXPECT_EQ(record.mailbox, nullptr);
    EXPECT_TRUE(os.liveViews.empty());
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_WRITE_NOT_OPEN);
}

TEST_F(CloseTest, EndedSlaveStillCloses) {
    openChannel();
    slaveProcess().exitCode = 1;
    EXPECT_EQ(library.close(0), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_FALSE(library.record(0).open);
    EXPECT_TRUE(os.liveViews.empty());
    EXPECT_EQ(library.event(0, nullptr), ZOLT_EVENT_NOT_OPEN);
}

TEST_F(CloseTest, SilentSlaveStillCloses) {
    openChannel();
    EXPECT_EQ(library.close(0), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_FALSE(library.record(0).open);
    EXPECT_TRUE(os.liveViews.empty());
}

TEST_F(CloseTest, NeverOpenedChannel) {
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.suspensionCount(0), 2);
    EXPECT_EQ(os.unmaps, 0);
}

TEST_F(CloseTest, ViewIsUnmappedOnlyOnce) {
    openChannel();
    slave.answer("bye");
    EXPECT_EQ(library.close(0), ZOLT_OK);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(os.unmaps, 1);
    EXPECT_EQ(os.strayUnmaps, 0);
    EXPECT_EQ(slave.commands, std::vector<std::string>{"Close"});
}

TEST_F(CloseTest, LeavesOtherChannelsAlone) {
    openChannel(0);
    ScriptedSlave other{os, "OtherSM"};
    ASSERT_EQ(library.open(1, "slaves/Other.exe"), ZOLT_OK);
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    EXPECT_TRUE(library.record(1).open);
    EXPECT_EQ(library.suspensionCount(1), 1);
    other.answer("still here");
    EXPECT_EQ(library.write(1, "Hello"), ZOLT_OK);
}

}  // namespace
