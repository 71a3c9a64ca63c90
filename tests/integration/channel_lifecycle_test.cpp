// Opening and closing channels to real slave processes.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

using ChannelLifecycle = ChannelTest;

TEST_F(ChannelLifecycle, OpenedChannelTalksToItsSlaveAndCloseEndsIt) {
    openSlave(0);
    ASSERT_EQ(write(0, "echo>hello"), ZOLT_OK);
    EXPECT_EQ(reply(0), "hello");

    EXPECT_EQ(api.close(0), ZOLT_OK);
    EXPECT_EQ(reply(0), "Bye");  // the reply to "Close" is kept like any other
    EXPECT_EQ(write(0, "echo>again"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(reply(0), "Bye");
}

TEST_F(ChannelLifecycle, OpeningAnOpenChannelLeavesItsSlaveAlone) {
    openSlave(1);
    ASSERT_EQ(write(1, "notify>kept"), ZOLT_OK);
    EXPECT_EQ(api.open(1, slaves.newSlave().c_str()), ZOLT_OPEN_ALREADY_OPEN);
    // Still the first slave, with its state.
    ASSERT_EQ(write(1, "Ask"), ZOLT_OK);
    EXPECT_EQ(reply(1), "kept");
}

TEST_F(ChannelLifecycle, MissingSlaveFailsAfterTheObjectsAreCreatedAndCloseReleasesTheView) {
    const std::string missing = slaves.pathOf("NoSuchSlave" + std::to_string(currentProcessId()) + kProgramSuffix);
    EXPECT_EQ(api.open(2, missing.c_str()), ZOLT_OPEN_START_FAILED);
#if !defined(_WIN32)
    EXPECT_TRUE(mailboxExists(SlaveFolder::stemOf(missing)));
    EXPECT_TRUE(eventExists(SlaveFolder::stemOf(missing)));
#endif
    EXPECT_EQ(write(2, "echo>x"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(api.close(2), ZOLT_WRITE_NOT_OPEN);
    // The channel is reusable afterwards.
    openSlave(2);
    EXPECT_EQ(write(2, "echo>fine"), ZOLT_OK);
}

TEST_F(ChannelLifecycle, UnusablePathsAndChannelsAreRefusedWithoutCreatingAnything) {
    const std::string folderOnly = slaves.path() + kSeparator;
    const std::string tooLong = slaves.pathOf(std::string(100, 'L'));
    for (const char* path : {static_cast<const char*>(nullptr), "", folderOnly.c_str(), tooLong.c_str()}) {
        EXPECT_EQ(api.open(3, path), ZOLT_OPEN_START_FAILED) << (path ? path : "(null)");
    }

    const std::string slave = slaves.newSlave();
    for (const int channel : {-1, 8, 127, -128}) {
        EXPECT_EQ(api.open(static_cast<std::int8_t>(channel), slave.c_str()), ZOLT_OPEN_NO_POLLER);
        EXPECT_EQ(api.write(static_cast<std::int8_t>(channel), "x"), ZOLT_WRITE_NOT_OPEN);
        EXPECT_EQ(api.event(static_cast<std::int8_t>(channel), nullptr), ZOLT_EVENT_NOT_OPEN);
        EXPECT_EQ(api.close(static_cast<std::int8_t>(channel)), ZOLT_WRITE_NOT_OPEN);
        ASSERT_NE(api.read(static_cast<std::int8_t>(channel)), nullptr);
        EXPECT_STREQ(api.read(static_cast<std::int8_t>(channel)), "");
    }
#if !defined(_WIN32)
    EXPECT_FALSE(mailboxExists(SlaveFolder::stemOf(slave)));
#endif
}

TEST_F(ChannelLifecycle, ClosingAChannelWhoseSlaveEndedReportsItAndStillCloses) {
    openSlave(4);
    ASSERT_EQ(write(4, "Close"), ZOLT_OK);  // the test slave ends after "Close"
    // The slave's exit is not instant; a liveness check sees it soon. A write
    // that still finds it running waits out the reply time (4), as a
    // sanitizer's slow exit makes likely; the next one sees the end.
    std::int8_t status = ZOLT_OK;
    for (int tries = 0; tries < 500 && (status == ZOLT_OK || status == ZOLT_WRITE_REPLY_TIMEOUT); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        status = write(4, "ignored");
    }
    EXPECT_EQ(status, ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_EQ(api.close(4), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_EQ(write(4, "echo>x"), ZOLT_WRITE_NOT_OPEN);
}

TEST_F(ChannelLifecycle, ReopeningWithTheSamePathReusesTheObjectsAndStartsANewSlave) {
    const std::string path = openSlave(5);
    ASSERT_EQ(write(5, "notify>from the first slave"), ZOLT_OK);
    ASSERT_EQ(write(5, "signal>1"), ZOLT_OK);  // leaves a pending post in the event
    ASSERT_EQ(api.close(5), ZOLT_OK);

    ASSERT_EQ(api.open(5, path.c_str()), ZOLT_OK);
    // A new slave: it has no notification queued and has seen no command yet.
    ASSERT_EQ(write(5, "count"), ZOLT_OK);
    EXPECT_EQ(reply(5), "0");
    ASSERT_EQ(write(5, "Ask"), ZOLT_OK);
    EXPECT_EQ(reply(5), "(nothing)");
}

TEST_F(ChannelLifecycle, ReadYieldsOneStableAddressPerChannel) {
    const char* before = api.read(6);
    EXPECT_STREQ(before, "");
    openSlave(6);
    ASSERT_EQ(write(6, "echo>first"), ZOLT_OK);
    EXPECT_EQ(api.read(6), before);
    EXPECT_STREQ(before, "first");
    EXPECT_NE(api.read(7), before);
}

}  // namespace
}  // namespace zolt_test
