// At rest nothing wakes: channels that listen for notifications, and the kit
// slaves behind them, are counted by their context switches over a quiet
// spell. Counts, not CPU time: a CPU bound cannot tell 20 wake-ups a second
// from 1,000. docs/performance.md has the figures.
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "channel_fixture.h"
#include "notification_recorder.h"
#include "process_probe.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

constexpr auto kRest = 5s;

using AtRest = ChannelTest;

TEST_F(AtRest, EightListeningChannelsHardlyWakeAndEachStillGetsItsNotification) {
    std::vector<int> slavePids;
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        openSlave(channel);
        ASSERT_EQ(api.event(static_cast<std::int8_t>(channel), callbackOf(channel)), ZOLT_OK);
        ASSERT_EQ(write(channel, "pid"), ZOLT_OK);
        slavePids.push_back(std::stoi(reply(channel)));
    }
    // The rest itself is what is measured: nothing here waits for a thread.
    const long before = wakeUpsOfOtherThreads();
    std::this_thread::sleep_for(kRest);
    const long wakeUps = wakeUpsOfOtherThreads() - before;
    ASSERT_GE(before, 0);
    EXPECT_LE(wakeUps, 10) << "the library's threads in " << kRest.count() << " s";

    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        ASSERT_EQ(write(channel, "push>after the rest " + std::to_string(channel)), ZOLT_OK);
    }
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        ASSERT_TRUE(recorderOf(channel).waitForCalls(1)) << channel;
        EXPECT_EQ(recorderOf(channel).texts(), std::vector<std::string>{"after the rest " + std::to_string(channel)});
    }
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        EXPECT_EQ(api.close(static_cast<std::int8_t>(channel)), ZOLT_OK);
    }
}

// A kit slave rests in the kernel until the host raises the state byte, and
// looks after its host about once a second: at most two wake-ups a second.
TEST_F(AtRest, AKitSlaveHardlyWakesAndAnswersTheFirstCommandAfterTheRest) {
    openSlave(2);
    ASSERT_EQ(write(2, "pid"), ZOLT_OK);
    const int pid = std::stoi(reply(2));
    // Past the quick naps that follow a command.
    ASSERT_TRUE(waitUntilInFutexWait(pid, 5s));
    const long before = wakeUpsOf(pid);
    std::this_thread::sleep_for(kRest);
    const long wakeUps = wakeUpsOf(pid) - before;
    ASSERT_GE(before, 0);
    EXPECT_LE(wakeUps, 2 * 5) << "the slave in " << kRest.count() << " s";
    ASSERT_EQ(write(2, "echo>awake"), ZOLT_OK);
    EXPECT_EQ(reply(2), "awake");
}

// Resting longer must not make a slave outlive its host for long.
TEST_F(AtRest, AKitSlaveWhoseHostDiesWhileItRestsEndsSoonAfter) {
    const std::string slave = slaves.newSlave();
    const std::string log = slave + ".log";
    std::optional<ScopedEnvironment> logged(std::in_place, "ZOLT_TEST_SLAVE_LOG", log);
    OtherProcess host(programInBuild("zolt_exit_host"), {slave, "rest"});
    logged.reset();
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(waitForLine(log, "echo>hi", 20s));
    const int pid = runningProcessOf(slave);
    // Under qemu-user (the arm64 tests) the slave's process is the
    // emulator's, which /proc shows under its own name and waits.
    if (pid == 0 && std::getenv("QEMU_LD_PREFIX") != nullptr) GTEST_SKIP() << "the slave runs inside an emulator";
    ASSERT_NE(pid, 0);
    ASSERT_TRUE(waitUntilInFutexWait(pid, 5s));
    host.kill();
    // About a second; the bound allows for a loaded machine.
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (programRunning(slave) && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(programRunning(slave));
}

}  // namespace
}  // namespace zolt_test
