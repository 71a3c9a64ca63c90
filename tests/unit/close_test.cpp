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

TEST_F(CloseTest, StrayClosesCountNoSuspension) {
    // Before any open, and again once the channel is closed.
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.suspensionCount(0), 1);
    EXPECT_EQ(os.unmaps, 0);
    openChannel();
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.suspensionCount(0), 2);
}

TEST_F(CloseTest, AStrayCloseAfterAFailedOpenStillReleasesItsView) {
    os.failStartProcess = true;
    ASSERT_EQ(library.open(0, kPath), ZOLT_OPEN_START_FAILED);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_TRUE(os.liveViews.empty());
    EXPECT_EQ(library.record(0).poller.event(), 0);
    EXPECT_EQ(library.suspensionCount(0), 1);
}

// A slave that never got "Close" may still serve the mailbox: its stem stays
// claimed, so no second slave joins it, until it has ended.
TEST_F(CloseTest, AFailedCloseKeepsTheClaimUntilItsSlaveHasEnded) {
    openChannel();
    FakeOs::Process& first = slaveProcess();
    EXPECT_EQ(library.close(0), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_TRUE(os.holds("Brivex.claim"));
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_EQ(library.open(1, kPath), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_EQ(os.processes.size(), 1U);

    first.exitCode = 0;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OK);
    EXPECT_EQ(os.processes.size(), 2U);
    EXPECT_EQ(os.process(1).releases, 1);
    EXPECT_EQ(os.heldClaims.size(), 1U);
}

TEST_F(CloseTest, AClaimKeptByAFailedCloseGoesWithTheNextCloseOnceItsSlaveEnds) {
    openChannel(0);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_REPLY_TIMEOUT);
    os.process(1).exitCode = 9;
    // A close anywhere sweeps, even one that finds its channel not open.
    EXPECT_EQ(library.close(3), ZOLT_WRITE_NOT_OPEN);
    EXPECT_TRUE(os.heldClaims.empty());
}

TEST_F(CloseTest, AClosedSlaveOrAnEndedOneGivesTheClaimBackAtOnce) {
    openChannel();
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    EXPECT_TRUE(os.heldClaims.empty());
    openChannel();
    slaveProcess().exitCode = 1;
    ASSERT_EQ(library.close(0), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_TRUE(os.heldClaims.empty());
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
