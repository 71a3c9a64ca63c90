// A slave that leaves a value other than 0 (idle) or 1 (pending) in the state
// byte: every such value must count as pending, never as a reply.
#include <cstring>

#include "channel_fixture.h"

namespace {

class ForeignStateTest : public ChannelTest {
protected:
    void SetUp() override {
        ChannelTest::SetUp();
        openChannel();
        exchangeOnce(0, "before");
    }

    // The slave takes the command, writes something that is no reply and
    // leaves `value` behind.
    void slaveLeaves(unsigned char value) {
        os.onSleep = [this, value] {
            if (mailbox()[0] != zolt::kPending) return;
            std::strcpy(reinterpret_cast<char*>(mailbox().data() + 1), "not a reply");
            mailbox()[0] = value;
        };
    }
};

TEST_F(ForeignStateTest, EveryValueButIdleTimesOutAndKeepsThePreviousReply) {
    for (int value = 2; value <= 255; ++value) {
        SCOPED_TRACE(value);
        slaveLeaves(static_cast<unsigned char>(value));
        const int sleeps = os.sleeps;
        ASSERT_EQ(library.write(0, "Hello"), ZOLT_WRITE_REPLY_TIMEOUT);
        EXPECT_EQ(os.sleeps - sleeps, 4000);
        EXPECT_STREQ(library.read(0), "before");
        ASSERT_EQ(library.write(0, "Hello"), ZOLT_WRITE_MAILBOX_BUSY);
        EXPECT_EQ(os.sleeps - sleeps, 8000);
        EXPECT_EQ(os.text(kMailbox), "not a reply");
        mailbox()[0] = zolt::kIdle;  // as if the slave came back to its senses
    }
}

TEST_F(ForeignStateTest, CloseStillClosesAndTheOpenAfterItsSlaveEndedResetsTheByte) {
    slaveLeaves(0xff);
    ASSERT_EQ(library.write(0, "Hello"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(library.close(0), ZOLT_WRITE_MAILBOX_BUSY);
    EXPECT_FALSE(library.record(0).open);
    EXPECT_EQ(os.state(kMailbox), 0xff);

    os.onSleep = nullptr;
    // That slave never got "Close": the stem is its own until it ends.
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_STEM_IN_USE);
    os.process(1).exitCode = 0;
    openChannel();
    EXPECT_EQ(os.state(kMailbox), zolt::kIdle);
    ScriptedSlave fresh{os, kMailbox};
    fresh.answer("after");
    ASSERT_EQ(library.write(0, "Hello"), ZOLT_OK);
    EXPECT_STREQ(library.read(0), "after");
}

}  // namespace
