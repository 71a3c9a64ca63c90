// A slave built on the slave kit alone (zolt_slave.h): the README's example,
// driven through the real library. slave_paths_test.cpp tries it at awkward
// paths.
#include <string>

#include "channel_fixture.h"

#if !defined(_WIN32)
#include <chrono>
#include <thread>

#include "process_probe.h"
#endif

namespace zolt_test {
namespace {

using SlaveKit = ChannelTest;

TEST_F(SlaveKit, KeepsNotificationsForAskOldestFirstAndDropsThoseBeyondItsQueue) {
    // No callback registered: the poller stays suspended and never asks.
    const std::string slave = slaves.newSlaveFrom("MinimalSlave");
    ASSERT_EQ(api.open(2, slave.c_str()), ZOLT_OK);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(write(2, std::to_string(i)), ZOLT_OK);
    // The example's queue holds 16.
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(write(2, "Ask"), ZOLT_OK);
        EXPECT_EQ(reply(2), "greeted") << i;
    }
    ASSERT_EQ(write(2, "Ask"), ZOLT_OK);
    EXPECT_EQ(reply(2), "(nothing)");
    EXPECT_EQ(api.close(2), ZOLT_OK);
}

TEST_F(SlaveKit, CutsAReplyToWhatTheMailboxHolds) {
    const std::string slave = slaves.newSlaveFrom("MinimalSlave");
    ASSERT_EQ(api.open(3, slave.c_str()), ZOLT_OK);
    const std::string longest(ZOLT_MAX_TEXT_LENGTH, 'k');
    ASSERT_EQ(write(3, longest), ZOLT_OK);
    EXPECT_EQ(reply(3), ("Hello, " + longest).substr(0, ZOLT_MAX_TEXT_LENGTH));
    EXPECT_EQ(api.close(3), ZOLT_OK);
}

#if !defined(_WIN32)
// A kit slave with nothing to do naps a millisecond at a time and asks
// after its host only now and then: it used to cost an eighth of a core.
// The bound is loose enough for a loaded machine; docs/performance.md has
// the figures.
TEST_F(SlaveKit, AnIdleSlaveCostsAlmostNoCpu) {
    openSlave(4);
    ASSERT_EQ(write(4, "pid"), ZOLT_OK);
    const int pid = std::stoi(reply(4));
    // Past the quick naps that follow a command.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double before = cpuSecondsOf(pid);
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::chrono::duration<double> idle = std::chrono::steady_clock::now() - started;
    const double used = cpuSecondsOf(pid) - before;
    ASSERT_GE(before, 0);
    EXPECT_LT(used, 0.03 * idle.count()) << used << " s of CPU in " << idle.count() << " s";
    // And it still answers at once.
    EXPECT_EQ(write(4, "echo>awake"), ZOLT_OK);
    EXPECT_EQ(reply(4), "awake");
}
#endif

}  // namespace
}  // namespace zolt_test
