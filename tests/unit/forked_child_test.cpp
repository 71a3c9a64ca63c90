// In a forked child the parent's channels are not the child's.
#include "channel_fixture.h"

namespace {

class ForkedChildTest : public ChannelTest {
protected:
    void SetUp() override {
        ChannelTest::SetUp();
        openChannel(0);
        ASSERT_EQ(library.event(0, [] {}), ZOLT_OK);
        os.pid = 101;  // from here on, the child
    }
};

TEST_F(ForkedChildTest, WriteEventAndCloseYieldNotOpenAndTouchNoMailbox) {
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.event(0, [] {}), ZOLT_EVENT_NOT_OPEN);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_TRUE(slave.commands.empty());
    EXPECT_EQ(os.sleeps, 0);
    EXPECT_TRUE(os.signalled.empty());
    EXPECT_EQ(os.unmaps, 0);
    EXPECT_EQ(os.claimReleases, 0);
    // The parent's poller is left as it was.
    EXPECT_EQ(library.suspensionCount(0), 0);
}

TEST_F(ForkedChildTest, OpensNothingOfItsOwn) {
    EXPECT_EQ(library.open(1, "slaves/Other.exe"), ZOLT_OPEN_NO_POLLER);
    EXPECT_EQ(os.sharedMemoryCreates.size(), 1u);
    EXPECT_EQ(os.startAttempts.size(), 1u);
}

TEST_F(ForkedChildTest, TheParentKeepsItsChannel) {
    library.close(0);
    os.pid = 100;
    exchangeOnce(0, "parent's");
}

}  // namespace
