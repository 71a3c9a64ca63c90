#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "channel_fixture.h"

namespace {

// The callback takes no arguments, so what it sees goes through globals.
struct Recorder {
    static inline zolt::Library* library = nullptr;
    static inline std::vector<std::string> seen;
    static inline const char* echo = nullptr;  // written back from inside the callback
    static inline std::string afterEcho;       // what the callback then reads
    static inline const char* hostWrite = nullptr;  // written by another thread during the callback
    static inline std::string hostSaw;
    static inline bool throwAfter = false;

    static void reset(zolt::Library& lib) {
        library = &lib;
        seen.clear();
        echo = nullptr;
        afterEcho.clear();
        hostWrite = nullptr;
        hostSaw.clear();
        throwAfter = false;
    }
    static void notify() {
        seen.emplace_back(library->read(0));
        // A series that never ends would hang the suite: fail and stop it instead.
        if (seen.size() > 16) {
            ADD_FAILURE() << "runaway series";
            library->event(0, nullptr);
            return;
        }
        if (hostWrite != nullptr) {
            // A host thread's exchange while the callback runs; the callback
            // then reads again.
            std::thread([] {
                library->write(0, hostWrite);
                hostSaw = library->read(0);
            }).join();
            seen.emplace_back(library->read(0));
        }
        if (echo != nullptr) {
            library->write(0, echo);
            afterEcho = library->read(0);
        }
        if (throwAfter) throw std::runtime_error("host failure");
    }
    static void other() {}
};

using SuspensionTest = ChannelTest;

TEST_F(SuspensionTest, EventOnClosedChannelChangesNothing) {
    EXPECT_EQ(library.event(0, &Recorder::notify), ZOLT_EVENT_NOT_OPEN);
    EXPECT_EQ(library.suspensionCount(0), 1);
    EXPECT_EQ(library.record(0).callback.load(), nullptr);
}

TEST_F(SuspensionTest, OnlyTheFirstEventResumes) {
    openChannel();
    EXPECT_EQ(library.event(0, &Recorder::notify), ZOLT_OK);
    EXPECT_EQ(library.suspensionCount(0), 0);
    EXPECT_EQ(library.event(0, &Recorder::other), ZOLT_OK);
    EXPECT_EQ(library.suspensionCount(0), 0);
    EXPECT_EQ(library.record(0).callback.load(), &Recorder::other);
}

TEST_F(SuspensionTest, EachCloseNeedsItsOwnEvent) {
    openChannel();
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    openChannel();
    EXPECT_EQ(library.event(0, &Recorder::notify), ZOLT_OK);
    EXPECT_EQ(library.suspensionCount(0), 1);
    EXPECT_EQ(library.event(0, &Recorder::notify), ZOLT_OK);
    EXPECT_EQ(library.suspensionCount(0), 0);
}

TEST_F(SuspensionTest, AStrayCloseBeforeTheFirstOpenLeavesEventAbleToStartThePoller) {
    ASSERT_EQ(library.close(0), ZOLT_WRITE_NOT_OPEN);
    openChannel();
    EXPECT_EQ(library.event(0, &Recorder::notify), ZOLT_OK);
    EXPECT_EQ(library.suspensionCount(0), 0);
}

class PollerTest : public ChannelTest {
protected:
    void SetUp() override {
        ChannelTest::SetUp();
        Recorder::reset(library);
        openChannel();
    }

    // Lets the poller run and serves one pass; the pass blocks unless the
    // gate is open and the channel has its event.
    void runPass(NotifyCallback callback = &Recorder::notify) {
        ASSERT_EQ(library.event(0, callback), ZOLT_OK);
        ASSERT_EQ(library.suspensionCount(0), 0);
        ASSERT_NE(library.record(0).poller.event(), 0);
        os.signal("BrivexEM");
        library.runPollerPass(0);
    }
};

TEST_F(PollerTest, HandsOutEachNotification) {
    for (const char* reply : {"one", "two", "three", "(nothing)"}) slave.answer(reply);
    runPass();
    EXPECT_EQ(slave.commands, std::vector<std::string>(4, "Ask"));
    EXPECT_EQ(Recorder::seen, (std::vector<std::string>{"one", "two", "three"}));
    ASSERT_EQ(os.waits.size(), 1u);
    EXPECT_EQ(os.eventName(os.waits[0]), "BrivexEM");
    EXPECT_FALSE(os.pending("BrivexEM"));
}

TEST_F(PollerTest, NothingPending) {
    slave.answer("(nothing)");
    runPass();
    EXPECT_EQ(slave.commands, std::vector<std::string>{"Ask"});
    EXPECT_TRUE(Recorder::seen.empty());
}

TEST_F(PollerTest, OnlyTheExactMarkerEndsTheSeries) {
    for (const char* reply : {"(nothing) yet", "(Nothing)", "(nothing)"}) slave.answer(reply);
    runPass();
    EXPECT_EQ(slave.commands.size(), 3u);
    EXPECT_EQ(Recorder::seen, (std::vector<std::string>{"(nothing) yet", "(Nothing)"}));
}

TEST_F(PollerTest, EndedSlaveEndsTheSeries) {
    slaveProcess().exitCode = 0;
    runPass();
    EXPECT_TRUE(slave.commands.empty());
    EXPECT_TRUE(Recorder::seen.empty());
}

TEST_F(PollerTest, SilentSlaveNeverRepeatsAnOldNotification) {
    slave.answer("one");
    runPass();
    EXPECT_EQ(slave.commands, (std::vector<std::string>{"Ask", "Ask"}));
    EXPECT_EQ(Recorder::seen, std::vector<std::string>{"one"});
}

TEST_F(PollerTest, NullCallbackAsksNothing) {
    slave.answer("one");
    runPass(nullptr);
    EXPECT_TRUE(slave.commands.empty());
    EXPECT_EQ(os.state(kMailbox), zolt::kIdle);
}

TEST_F(PollerTest, CallbackMayWriteToItsChannelAndReadsItsOwnReply) {
    Recorder::echo = "Echo";
    for (const char* reply : {"one", "echoed", "(nothing)"}) slave.answer(reply);
    runPass();
    EXPECT_EQ(slave.commands, (std::vector<std::string>{"Ask", "Echo", "Ask"}));
    EXPECT_EQ(Recorder::seen, std::vector<std::string>{"one"});
    EXPECT_EQ(Recorder::afterEcho, "echoed");
}

// The host's threads and the poller keep their replies apart: a host's write
// during the callback leaves the notification in place for the callback,
// and the poller's "Ask" leaves the host's reply in place for the host.
TEST_F(PollerTest, HostRepliesAndNotificationsNeverReplaceEachOther) {
    slave.answer("before");
    ASSERT_EQ(library.write(0, "Before"), ZOLT_OK);
    Recorder::hostWrite = "Host";
    for (const char* reply : {"one", "host reply", "(nothing)"}) slave.answer(reply);
    runPass();
    EXPECT_EQ(slave.commands, (std::vector<std::string>{"Before", "Ask", "Host", "Ask"}));
    EXPECT_EQ(Recorder::seen, (std::vector<std::string>{"one", "one"}));
    EXPECT_EQ(Recorder::hostSaw, "host reply");
    EXPECT_STREQ(library.read(0), "host reply");
}

TEST_F(PollerTest, ThrowingCallbackKeepsTheSeriesGoing) {
    Recorder::throwAfter = true;
    for (const char* reply : {"one", "two", "(nothing)"}) slave.answer(reply);
    runPass();
    EXPECT_EQ(Recorder::seen, (std::vector<std::string>{"one", "two"}));
}

}  // namespace
