// One stem, one open channel on the machine: a second channel of the stem, in
// this host or another, is refused with 7 and disturbs nothing; the stem is
// free again once its channel is closed or its host has ended.
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

using OneStem = ChannelTest;

std::string exitHost() { return programInBuild("zolt_exit_host"); }

bool fileHolds(const std::string& path, const std::string& text) {
    std::ifstream file(path);
    const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return content.find(text) != std::string::npos;
}

std::string fileNameOf(const std::string& path) { return path.substr(path.rfind(kSeparator) + 1); }

// Waits for a condition that another process makes true.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST_F(OneStem, ASecondChannelInAnotherFolderGetsSevenAndTheFirstIsUnaffected) {
    const std::string first = openSlave(0);
    SlaveFolder otherFolder;
    const std::string second = otherFolder.pathOf(fileNameOf(first));
    SlaveFolder::placeProgram("TestSlave", second);

    EXPECT_EQ(api.open(1, second.c_str()), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_EQ(write(1, "echo>x"), ZOLT_WRITE_NOT_OPEN);
    // The commands the slave had before this one.
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(write(0, "count"), ZOLT_OK);
        EXPECT_EQ(reply(0), std::to_string(i)) << "the first channel's slave saw another's commands";
    }

    EXPECT_EQ(api.close(0), ZOLT_OK);
    ASSERT_EQ(api.open(1, second.c_str()), ZOLT_OK);
    EXPECT_EQ(write(1, "echo>second"), ZOLT_OK);
    EXPECT_EQ(reply(1), "second");
    EXPECT_EQ(api.close(1), ZOLT_OK);
}

// A slave that never got "Close" may still be serving: its stem stays
// claimed until it has ended, so one slave at most answers the mailbox.
TEST_F(OneStem, AFailedCloseKeepsTheStemUntilItsSlaveHasEnded) {
    const std::string slave = openSlave(0);
    ASSERT_EQ(write(0, "pid"), ZOLT_OK);
    const int firstPid = std::stoi(reply(0));
    ASSERT_EQ(write(0, "mute"), ZOLT_WRITE_REPLY_TIMEOUT);
    ASSERT_EQ(api.close(0), ZOLT_WRITE_MAILBOX_BUSY);

    EXPECT_EQ(api.open(0, slave.c_str()), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_EQ(api.open(1, slave.c_str()), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_TRUE(stemClaimed(SlaveFolder::stemOf(slave)));

    ASSERT_TRUE(killProcess(firstPid));
    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    ASSERT_EQ(write(0, "pid"), ZOLT_OK);
    EXPECT_NE(std::stoi(reply(0)), firstPid);
    // One slave counts every command: "pid", then these.
    for (int i = 1; i < 4; ++i) {
        ASSERT_EQ(write(0, "count"), ZOLT_OK);
        EXPECT_EQ(reply(0), std::to_string(i));
    }
}

TEST_F(OneStem, AFailedOpenClaimsNothing) {
    const std::string slave = slaves.newSlave();
    const std::string missing = slaves.pathOf("missing") + kSeparator + fileNameOf(slave);
    EXPECT_EQ(api.open(0, missing.c_str()), ZOLT_OPEN_START_FAILED);
    EXPECT_FALSE(stemClaimed(SlaveFolder::stemOf(slave)));
    ASSERT_EQ(api.open(1, slave.c_str()), ZOLT_OK);
    EXPECT_EQ(write(1, "echo>opened"), ZOLT_OK);
    EXPECT_EQ(api.close(1), ZOLT_OK);
    api.close(0);  // the view the failed open left
}

TEST_F(OneStem, ASecondHostGetsSevenAndTheFirstHostsRepliesStayRight) {
    const std::string slave = openSlave(0);
    OtherProcess second(exitHost(), {slave, "try"});
    ASSERT_TRUE(second.started());
    // Exchanges go on while the other host tries.
    int exchanges = 0;
    while (second.exitCode(0ms) < 0 && exchanges < 2000) {
        ASSERT_EQ(write(0, "echo>" + std::to_string(exchanges)), ZOLT_OK);
        ASSERT_EQ(reply(0), std::to_string(exchanges));
        ++exchanges;
    }
    EXPECT_EQ(second.exitCode(60s), ZOLT_OPEN_STEM_IN_USE);
    ASSERT_EQ(write(0, "count"), ZOLT_OK);
    EXPECT_EQ(reply(0), std::to_string(exchanges));

    EXPECT_EQ(api.close(0), ZOLT_OK);
    OtherProcess third(exitHost(), {slave, "try"});
    EXPECT_EQ(third.exitCode(60s), ZOLT_OK);
}

TEST_F(OneStem, AKilledHostsStemOpensAtOnce) {
    const std::string slave = slaves.newSlave();
    const std::string stem = SlaveFolder::stemOf(slave);
    const std::string log = slave + ".log";
    setEnvironment("ZOLT_TEST_SLAVE_LOG", log.c_str());
    OtherProcess first(exitHost(), {slave, "hang"});
    clearEnvironment("ZOLT_TEST_SLAVE_LOG");
    ASSERT_TRUE(first.started());
    // Killed once its slave serves it, so that slave sees its host end.
    ASSERT_TRUE(eventually([&] { return fileHolds(log, "mute"); }, 30s));
    ASSERT_TRUE(stemClaimed(stem));
    EXPECT_EQ(api.open(0, slave.c_str()), ZOLT_OPEN_STEM_IN_USE);

    first.kill();
    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    EXPECT_EQ(write(0, "echo>mine now"), ZOLT_OK);
    EXPECT_EQ(reply(0), "mine now");
    EXPECT_EQ(api.close(0), ZOLT_OK);
}

using KitSlaves = ChannelTest;

TEST_F(KitSlaves, AHostThatEndsRightAfterOpenLeavesNoSlaveBehind) {
    for (int round = 0; round < 5; ++round) {
        const std::string slave = slaves.newSlave();
        OtherProcess host(exitHost(), {slave, "quit"});
        ASSERT_EQ(host.exitCode(60s), ZOLT_OK);
        // Generous: a slave that outlives its host polls for good.
        EXPECT_TRUE(eventually([&] { return !programRunning(slave); }, 5s)) << "round " << round;
        // The host ended without its clean exit, which removes the names.
        removeChannelObjects(SlaveFolder::stemOf(slave));
    }
}

}  // namespace
}  // namespace zolt_test
