#include <cstring>
#include <string>

#include "channel_fixture.h"

namespace {

using OpenTest = ChannelTest;

TEST_F(OpenTest, CreatesNamedObjectsAndStartsTheSlave) {
    openChannel(3);
    EXPECT_EQ(os.sharedMemoryCreates, std::vector<std::string>{"BrivexSM"});
    EXPECT_EQ(os.eventCreates, std::vector<std::string>{"BrivexEM"});
    EXPECT_EQ(os.startAttempts, std::vector<std::string>{kPath});
    const zolt::ChannelRecord& record = library.record(3);
    EXPECT_TRUE(record.open);
    EXPECT_EQ(record.mailbox, mailbox().data());
    EXPECT_EQ(os.eventName(record.poller.event()), "BrivexEM");
}

TEST_F(OpenTest, FreesTheMailboxButKeepsItsText) {
    // Left over from an earlier session of the same slave.
    mailbox()[0] = zolt::kPending;
    std::strcpy(reinterpret_cast<char*>(mailbox().data() + 1), "stale");
    openChannel();
    EXPECT_EQ(os.state(kMailbox), zolt::kIdle);
    EXPECT_EQ(os.text(kMailbox), "stale");
}

TEST_F(OpenTest, UsesTheLibrarysSeparator) {
    zolt::Library windowsStyle(os, '\\');
    windowsStyle.startUp();
    ASSERT_EQ(windowsStyle.open(0, "C:\\Datas\\Morva\\Brivex\\Brivex.exe"), ZOLT_OK);
    EXPECT_EQ(os.sharedMemoryCreates, std::vector<std::string>{"BrivexSM"});
}

TEST_F(OpenTest, SharedMemoryFailure) {
    os.failCreateSharedMemory = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_SHARED_MEMORY_FAILED);
    EXPECT_EQ(os.maps, 0);
    EXPECT_TRUE(os.eventCreates.empty());
    EXPECT_TRUE(os.startAttempts.empty());
    EXPECT_FALSE(library.record(0).open);
}

TEST_F(OpenTest, MappingFailure) {
    os.failMapSharedMemory = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_MAPPING_FAILED);
    EXPECT_TRUE(os.eventCreates.empty());
    EXPECT_TRUE(os.startAttempts.empty());
    EXPECT_FALSE(library.record(0).open);
}

TEST_F(OpenTest, EventFailureStartsNothingAndCloseUnmapsOnce) {
    os.failCreateEvent = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_EVENT_FAILED);
    EXPECT_TRUE(os.startAttempts.empty());
    EXPECT_FALSE(library.record(0).open);
    EXPECT_EQ(os.liveViews.size(), 1u);

    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(os.unmaps, 1);
    EXPECT_TRUE(os.liveViews.empty());
}

TEST_F(OpenTest, StartFailureKeepsTheViewUntilClose) {
    os.failStartProcess = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_START_FAILED);
    EXPECT_FALSE(library.record(0).open);
    EXPECT_EQ(os.liveViews.size(), 1u);
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_WRITE_NOT_OPEN);

    EXPECT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(os.unmaps, 1);
    EXPECT_EQ(os.strayUnmaps, 0);
    EXPECT_TRUE(os.liveViews.empty());
}

TEST_F(OpenTest, RepeatedFailedOpensKeepOneView) {
    os.failStartProcess = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_START_FAILED);
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_START_FAILED);
    EXPECT_EQ(os.maps, 2);
    EXPECT_EQ(os.liveViews.size(), 1u);

    os.failStartProcess = false;
    openChannel();
    EXPECT_EQ(os.liveViews.size(), 1u);
    slave.answer("bye");
    EXPECT_EQ(library.close(0), ZOLT_OK);
    EXPECT_TRUE(os.liveViews.empty());
    EXPECT_EQ(os.unmaps, 3);
    EXPECT_EQ(os.strayUnmaps, 0);
}

TEST_F(OpenTest, AlreadyOpenChangesNothing) {
    openChannel();
    exchangeOnce(0, "first");
    const zolt::ProcessHandle process = library.record(0).process;
    const zolt::EventHandle event = library.record(0).poller.event();
    mailbox()[0] = zolt::kPending;  // a command the slave is still working on

    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_ALREADY_OPEN);
    EXPECT_EQ(os.startAttempts.size(), 1u);
    EXPECT_EQ(os.sharedMemoryCreates.size(), 1u);
    EXPECT_EQ(os.eventCreates.size(), 1u);
    EXPECT_EQ(os.maps, 1);
    EXPECT_EQ(library.record(0).process, process);
    EXPECT_EQ(library.record(0).poller.event(), event);
    EXPECT_EQ(os.state(kMailbox), zolt::kPending);
    EXPECT_STREQ(library.read(0), "first");
}

TEST_F(OpenTest, ReopenReleasesThePreviousProcessOnce) {
    openChannel();
    const zolt::ProcessHandle first = library.record(0).process;
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    EXPECT_EQ(os.releasedHandles(), 0);  // close leaves the slave to end itself

    openChannel();
    EXPECT_EQ(os.process(first).releases, 1);
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    openChannel();
    EXPECT_EQ(os.releasedHandles(), 2);
    EXPECT_EQ(os.handlesReleasedTwice(), 0);
    EXPECT_EQ(os.process(library.record(0).process).releases, 0);
}

// The host reads the system's reason after a failed open: the claim's
// release and the unmapping that follow the failure must not replace it.
TEST_F(OpenTest, EachFailedStepLeavesItsSystemErrorForTheHost) {
    struct Step {
        bool FakeOs::*failure;
        std::int8_t status;
    };
    const Step steps[] = {{&FakeOs::failClaims, ZOLT_OPEN_SHARED_MEMORY_FAILED},
                          {&FakeOs::failCreateSharedMemory, ZOLT_OPEN_SHARED_MEMORY_FAILED},
                          {&FakeOs::failMapSharedMemory, ZOLT_OPEN_MAPPING_FAILED},
                          {&FakeOs::failCreateEvent, ZOLT_OPEN_EVENT_FAILED},
                          {&FakeOs::failStartProcess, ZOLT_OPEN_START_FAILED}};
    int error = 100;
    for (const Step& step : steps) {
        os.*step.failure = true;
        os.failureError = ++error;
        EXPECT_EQ(library.open(0, kPath), step.status);
        EXPECT_EQ(os.systemError, error) << "step " << error - 100;
        os.*step.failure = false;
    }
    EXPECT_EQ(os.claimReleases, 4);  // the clean-up ran, and overwrote it
    EXPECT_TRUE(os.heldClaims.empty());
}

TEST_F(OpenTest, RefusalsOfTheLibraryItselfLeaveTheSystemErrorAlone) {
    openChannel();
    os.systemError = 42;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_ALREADY_OPEN);
    EXPECT_EQ(library.open(1, nullptr), ZOLT_OPEN_START_FAILED);
    EXPECT_EQ(os.systemError, 42);
}

class BadPathTest : public ChannelTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(BadPathTest, RefusedBeforeAnyObjectIsCreated) {
    EXPECT_EQ(library.open(0, GetParam().c_str()), ZOLT_OPEN_START_FAILED);
    EXPECT_TRUE(os.sharedMemoryCreates.empty());
    EXPECT_TRUE(os.eventCreates.empty());
    EXPECT_TRUE(os.startAttempts.empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, BadPathTest,
                         ::testing::Values(std::string(), std::string(100, 'x'), std::string("slaves/")));

TEST_F(OpenTest, NullPathRefusedBeforeAnyObjectIsCreated) {
    EXPECT_EQ(library.open(0, nullptr), ZOLT_OPEN_START_FAILED);
    EXPECT_TRUE(os.sharedMemoryCreates.empty());
    EXPECT_TRUE(os.startAttempts.empty());
}

class NoPollerTest : public ChannelTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        os.failThreadCalls = {GetParam()};
        ChannelTest::SetUp();
    }
};

// Pollers are created in channel order, so failing call n costs channel n.
TEST_P(NoPollerTest, OnlyThatChannelIsLost) {
    const auto lost = static_cast<std::int8_t>(GetParam());
    EXPECT_EQ(library.open(lost, kPath), ZOLT_OPEN_NO_POLLER);
    EXPECT_TRUE(os.sharedMemoryCreates.empty());
    EXPECT_TRUE(os.startAttempts.empty());
    EXPECT_EQ(library.event(lost, nullptr), ZOLT_EVENT_NOT_OPEN);

    for (std::int8_t channel = 0; channel < zolt::kChannelCount; ++channel) {
        if (channel != lost) {
            const std::string path = "slaves/Slave" + std::to_string(channel) + ".exe";
            EXPECT_EQ(library.open(channel, path.c_str()), ZOLT_OK) << int{channel};
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, NoPollerTest, ::testing::Range(0, zolt::kChannelCount));

class OutOfRangeOpenTest : public ChannelTest, public ::testing::WithParamInterface<std::int8_t> {};

TEST_P(OutOfRangeOpenTest, HasNoPoller) {
    EXPECT_EQ(library.open(GetParam(), kPath), ZOLT_OPEN_NO_POLLER);
    EXPECT_TRUE(os.sharedMemoryCreates.empty());
}

INSTANTIATE_TEST_SUITE_P(Channels, OutOfRangeOpenTest, ::testing::Values<std::int8_t>(-1, 8, 127, -128));

TEST(StartUpTest, CreatesEightPollersInChannelOrder) {
    FakeOs os;
    zolt::Library library(os, '/');
    library.startUp();
    ASSERT_EQ(os.threads.size(), 8u);
    for (std::int8_t channel = 0; channel < zolt::kChannelCount; ++channel) {
        EXPECT_EQ(library.record(channel).poller.thread(), channel + 1);
        EXPECT_EQ(library.suspensionCount(channel), 1);
        EXPECT_STREQ(library.read(channel), "");
    }
}

}  // namespace
