// Hosts and slaves of different widths on one channel: this program loads the
// library of its own width and drives slaves of the other width's build, the
// kit's and one written without it. The mailbox holds no pointers or widths,
// so everything must work as between equals: replies, notifications,
// time-outs, an ended slave, close. No time-out here hangs on the machine's
// speed: the slave that ends never replies, and the late one waits for a
// file.
#include <fstream>
#include <string>
#include <vector>

#include "other_width_build.h"
#include "recorded_channel_fixture.h"

namespace zolt_test {
namespace {

class MixedWidth : public RecordedChannelTest {
protected:
    void SetUp() override {
        RecordedChannelTest::SetUp();
        std::string why;
        other_ = otherWidthBuild(why);
        ASSERT_FALSE(other_.empty()) << why;
    }

    // Opens `channel` to a copy of a slave of the other width.
    void openOtherWidth(int channel, const std::string& programName) {
        const std::string path = openSlaveFrom(channel, programName, other_);
        ASSERT_EQ(programWidth(path), kOtherWidth) << path;
    }

private:
    std::string other_;
};

TEST_F(MixedWidth, TheKitsExampleRepliesNotifiesAndCloses) {
    openOtherWidth(0, "MinimalSlave");
    ASSERT_EQ(write(0, "from the other width"), ZOLT_OK);
    EXPECT_EQ(reply(0), "Hello, from the other width");
    // Its notification waits for the poller, which the callback lets run.
    ASSERT_EQ(enable(0), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(1));
    EXPECT_EQ(recorderOf(0).texts(), std::vector<std::string>{"greeted"});
    EXPECT_EQ(api.close(0), ZOLT_OK);
    EXPECT_EQ(reply(0), "Bye");
}

TEST_F(MixedWidth, TheLongestTextsTravelIntactAndNotificationsArrive) {
    openOtherWidth(1, "TestSlave");
    const std::string longest(ZOLT_MAX_TEXT_LENGTH - 5, 'w');  // "echo>" and the text fill the mailbox
    ASSERT_EQ(write(1, "echo>" + longest), ZOLT_OK);
    EXPECT_EQ(reply(1), longest);
    ASSERT_EQ(write(1, "nonul"), ZOLT_OK);
    EXPECT_EQ(reply(1), std::string(ZOLT_MAX_TEXT_LENGTH, 'Z'));
    ASSERT_EQ(enable(1), ZOLT_OK);
    ASSERT_EQ(write(1, "push>" + longest), ZOLT_OK);
    ASSERT_TRUE(recorderOf(1).waitForCalls(1));
    EXPECT_EQ(recorderOf(1).texts(), std::vector<std::string>{longest});
    EXPECT_EQ(api.close(1), ZOLT_OK);
}

TEST_F(MixedWidth, ASlaveThatEndedIsSeenToHaveEnded) {
    openOtherWidth(3, "TestSlave");
    EXPECT_EQ(write(3, "exit>0"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(write(3, "echo>too late"), ZOLT_WRITE_SLAVE_ENDED);
}

TEST_F(MixedWidth, AnIndependentSlaveRepliesNotifiesInOrderAndCloses) {
    openOtherWidth(4, "IndependentSlave");
    ASSERT_EQ(write(4, "hello"), ZOLT_OK);
    EXPECT_EQ(reply(4), "plain:hello");
    ASSERT_EQ(write(4, "notify>first"), ZOLT_OK);
    ASSERT_EQ(write(4, "notify>second"), ZOLT_OK);
    ASSERT_EQ(enable(4), ZOLT_OK);
    ASSERT_TRUE(recorderOf(4).waitForCalls(2));
    EXPECT_EQ(recorderOf(4).texts(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(api.close(4), ZOLT_OK);
    EXPECT_EQ(reply(4), "Bye");
}

TEST_F(MixedWidth, AnIndependentSlavesLateReplyTimesOutAndTheNextCommandGoesThrough) {
    openOtherWidth(5, "IndependentSlave");
    // The slave replies only once the file exists, which the test makes
    // after the host has given up: late however slow the machine.
    const std::string release = slaves.pathOf("release");
    EXPECT_EQ(write(5, "late>" + release), ZOLT_WRITE_REPLY_TIMEOUT);
    ASSERT_TRUE(std::ofstream(release).good());
    ASSERT_EQ(write(5, "again"), ZOLT_OK);
    EXPECT_EQ(reply(5), "plain:again");
    EXPECT_EQ(api.close(5), ZOLT_OK);
}

}  // namespace
}  // namespace zolt_test
