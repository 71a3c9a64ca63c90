#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "channel_fixture.h"

namespace {

class ExchangeTest : public ChannelTest {
protected:
    void SetUp() override {
        ChannelTest::SetUp();
        openChannel();
    }

    // Everything a refused write must leave alone.
    struct Snapshot {
        std::string command;
        std::string reply;
        FakeOs::Mailbox mailbox;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() { return {library.record(0).command, library.record(0).reply, mailbox()}; }
};

TEST_F(ExchangeTest, CarriesCommandAndReply) {
    slave.answer("World");
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_OK);
    EXPECT_EQ(slave.commands, std::vector<std::string>{"Hello"});
    EXPECT_STREQ(library.read(0), "World");
    EXPECT_EQ(os.sleeps, 1);  // the mailbox was free: only the reply was waited for
}

TEST_F(ExchangeTest, LongestCommandIsAccepted) {
    const std::string longest(1023, 'c');
    slave.answer("ok");
    EXPECT_EQ(library.write(0, longest.c_str()), ZOLT_OK);
    ASSERT_EQ(slave.commands.size(), 1u);
    EXPECT_EQ(slave.commands[0], longest);
}

TEST_F(ExchangeTest, RefusedCommandsTouchNothing) {
    exchangeOnce(0, "previous");
    const Snapshot before = snapshot();
    const int sleepsBefore = os.sleeps;
    const std::string tooLong(1024, 'c');
    EXPECT_EQ(library.write(0, nullptr), ZOLT_WRITE_COMMAND_REFUSED);
    EXPECT_EQ(library.write(0, tooLong.c_str()), ZOLT_WRITE_COMMAND_REFUSED);
    EXPECT_TRUE(snapshot() == before);
    EXPECT_EQ(os.sleeps, sleepsBefore);
}

TEST_F(ExchangeTest, ClosedChannelTouchesNothing) {
    exchangeOnce(0, "previous");
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    const Snapshot before = snapshot();
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_TRUE(snapshot() == before);
    EXPECT_STREQ(library.read(0), "bye");
}

TEST_F(ExchangeTest, NeverOpenedChannelIsNotOpen) {
    EXPECT_EQ(library.write(1, "Hello"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_STREQ(library.record(1).command, "");
    EXPECT_TRUE(slave.commands.empty());
}

class EndedSlaveTest : public ExchangeTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(EndedSlaveTest, ReportedBeforeTheMailboxIsTouched) {
    mailbox()[0] = zolt::kPending;
    const FakeOs::Mailbox before = mailbox();
    slaveProcess().exitCode = GetParam();
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_EQ(mailbox(), before);
    EXPECT_EQ(os.sleeps, 0);
}

INSTANTIATE_TEST_SUITE_P(ExitCodes, EndedSlaveTest, ::testing::Values(0u, 1u, 258u, 260u, 0xFFFFFFFFu));

TEST_F(ExchangeTest, QueryThatStoresNothingMeansRunning) {
    slaveProcess().storesNothing = true;
    slave.answer("alive");
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_OK);
    EXPECT_STREQ(library.read(0), "alive");
}

TEST_F(ExchangeTest, BusyMailboxGivesUpAfter4000Sleeps) {
    mailbox()[0] = zolt::kPending;
    std::strcpy(reinterpret_cast<char*>(mailbox().data() + 1), "slave's own");
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_WRITE_MAILBOX_BUSY);
    EXPECT_EQ(os.sleeps, 4000);
    EXPECT_EQ(os.text(kMailbox), "slave's own");
}

TEST_F(ExchangeTest, SilentSlaveTimesOutThenLeavesTheMailboxBusy) {
    EXPECT_EQ(library.write(0, "first"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(os.sleeps, 4000);
    EXPECT_EQ(library.write(0, "second"), ZOLT_WRITE_MAILBOX_BUSY);
    EXPECT_EQ(os.sleeps, 8000);
    EXPECT_EQ(os.text(kMailbox), "first");
}

TEST_F(ExchangeTest, ReplyOnTheLastSleepButOneCounts) {
    slave.answer("just in time", 3999);
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_OK);
    EXPECT_EQ(os.sleeps, 3999);
    EXPECT_STREQ(library.read(0), "just in time");
}

TEST_F(ExchangeTest, LateReplyIsLostToTheNextWrite) {
    slave.answer("late", 4010);
    slave.answer("fresh");
    EXPECT_EQ(library.write(0, "first"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(library.write(0, "second"), ZOLT_OK);
    EXPECT_STREQ(library.read(0), "fresh");
    EXPECT_EQ(slave.commands, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(os.sleeps, 4011);
}

// Where a precise sleep needs a timer, two channels' exchanges may sleep at
// once and must not share one; and what a sleeper holds while it sleeps is
// let go after every wait, the one that timed out too.
TEST_F(ExchangeTest, EachChannelSleepsAsItsOwnSleeperAndFinishesEveryWait) {
    ScriptedSlave other{os, "OtherSM"};
    ASSERT_EQ(library.open(5, "slaves/Other.exe"), ZOLT_OK);
    slave.answer("zero", 2);
    other.answer("five", 3);
    EXPECT_EQ(library.write(0, "first"), ZOLT_OK);
    EXPECT_EQ(library.write(5, "second"), ZOLT_OK);
    EXPECT_EQ(library.write(0, "unanswered"), ZOLT_WRITE_REPLY_TIMEOUT);
    std::vector<int> expected{0, 0, 5, 5, 5};
    expected.insert(expected.end(), 4000, 0);
    EXPECT_EQ(os.sleepers, expected);
    EXPECT_EQ(os.finishes, (std::vector<int>{0, 5, 0}));
}

// A slave that waits in the system for the state byte would sleep through a
// wake given before the byte changed.
TEST_F(ExchangeTest, WakesTheSlaveOncePerCommandAfterRaisingTheState) {
    exchangeOnce(0, "one");
    exchangeOnce(0, "two");
    EXPECT_EQ(os.wakes, (std::vector<unsigned char>{zolt::kPending, zolt::kPending}));
    mailbox()[0] = zolt::kPending;
    EXPECT_EQ(library.write(0, "refused"), ZOLT_WRITE_MAILBOX_BUSY);
    EXPECT_EQ(os.wakes.size(), 2u);
}

TEST_F(ExchangeTest, ReplyWithoutNulIsCut) {
    os.onSleep = [this] {
        std::memset(mailbox().data() + 1, 'r', zolt::kTextCapacity);
        mailbox()[0] = zolt::kIdle;
    };
    EXPECT_EQ(library.write(0, "Hello"), ZOLT_OK);
    EXPECT_EQ(std::string(library.read(0)), std::string(1023, 'r'));
}

enum class Failure { Busy, Ended, Closed, Timeout };

void PrintTo(Failure failure, std::ostream* out) {
    static const char* const names[] = {"Busy", "Ended", "Closed", "Timeout"};
    *out << names[static_cast<int>(failure)];
}

class FailedWriteTest : public ExchangeTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailedWriteTest, KeepsThePreviousReply) {
    exchangeOnce(0, "previous");
    const std::int8_t expected = [&]() -> std::int8_t {
        switch (GetParam()) {
            case Failure::Busy: mailbox()[0] = zolt::kPending; return ZOLT_WRITE_MAILBOX_BUSY;
            case Failure::Ended: slaveProcess().exitCode = 0; return ZOLT_WRITE_SLAVE_ENDED;
            case Failure::Closed: slave.answer("bye"); library.close(0); return ZOLT_WRITE_NOT_OPEN;
            case Failure::Timeout: return ZOLT_WRITE_REPLY_TIMEOUT;
        }
        return ZOLT_OK;
    }();
    const std::string replyBefore = library.read(0);
    EXPECT_EQ(library.write(0, "Hello"), expected);
    EXPECT_EQ(library.read(0), replyBefore);
}

INSTANTIATE_TEST_SUITE_P(Failures, FailedWriteTest,
                         ::testing::Values(Failure::Busy, Failure::Ended, Failure::Closed, Failure::Timeout));

TEST_F(ExchangeTest, ReadKeepsOneAddress) {
    const char* address = library.read(0);
    exchangeOnce(0, "one");
    exchangeOnce(0, "two");
    EXPECT_EQ(library.read(0), address);
    EXPECT_STREQ(library.read(0), "two");
    EXPECT_STREQ(library.read(1), "");
}

class OutOfRangeTest : public ChannelTest, public ::testing::WithParamInterface<std::int8_t> {};

TEST_P(OutOfRangeTest, WriteCloseAndEventSayNotOpen) {
    EXPECT_EQ(library.write(GetParam(), "Hello"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.close(GetParam()), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(library.event(GetParam(), nullptr), ZOLT_EVENT_NOT_OPEN);
}

TEST_P(OutOfRangeTest, ReadYieldsEmptyText) {
    const char* text = library.read(GetParam());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
}

INSTANTIATE_TEST_SUITE_P(Channels, OutOfRangeTest, ::testing::Values<std::int8_t>(-1, 8, 127, -128));

}  // namespace
