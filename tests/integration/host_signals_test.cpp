// The library's threads inside a host that cares about signals and forks
// (Linux): what slaves inherit, faults inside callbacks, forked children.
#include <atomic>
#include <csetjmp>
#include <csignal>
#include <fstream>
#include <string>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process_probe.h"
#include "recorded_channel_fixture.h"

namespace zolt_test {
namespace {

class HostSignals : public RecordedChannelTest {
protected:
    // A line of /proc/PID/status of the channel's slave, such as "SigBlk".
    std::string slaveStatus(int channel, const std::string& field) {
        EXPECT_EQ(write(channel, "pid"), ZOLT_OK);
        std::ifstream status("/proc/" + reply(channel) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field + ":", 0) == 0) return line;
        }
        ADD_FAILURE() << "no " << field << " for the slave of channel " << channel;
        return {};
    }
};

TEST_F(HostSignals, ASlaveOpenedFromACallbackStartsWithTheHostsSignalMask) {
    openSlave(0);
    const std::string fromCallback = slaves.newSlave();
    std::atomic<int> openStatus{-1};
    recorderOf(0).setAction([&] { openStatus = api.open(1, fromCallback.c_str()); });
    ASSERT_EQ(enable(0), ZOLT_OK);
    ASSERT_EQ(write(0, "push>open channel 1"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(1));
    ASSERT_EQ(openStatus, ZOLT_OK);
    openSlave(2);  // from this, the host's thread

    EXPECT_EQ(slaveStatus(1, "SigBlk"), slaveStatus(2, "SigBlk"));
    EXPECT_EQ(slaveStatus(1, "SigIgn"), slaveStatus(2, "SigIgn"));
    api.close(1);
}

sigjmp_buf faultReturn;
void returnFromFault(int) { siglongjmp(faultReturn, 1); }

TEST_F(HostSignals, TheHostsHandlerRecoversAFaultRaisedInsideACallback) {
    struct sigaction handler {};
    handler.sa_handler = &returnFromFault;
    sigemptyset(&handler.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGSEGV, &handler, &previous), 0);
    // A page that faults on every touch: a fault the compiler cannot see coming.
    void* guard = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(guard, MAP_FAILED);

    std::atomic<bool> recovered{false};
    recorderOf(0).setAction([&] {
        if (sigsetjmp(faultReturn, 1) == 0) {
            *static_cast<volatile char*>(guard) = 1;
        } else {
            recovered = true;
        }
    });
    openSlave(0);
    ASSERT_EQ(enable(0), ZOLT_OK);
    ASSERT_EQ(write(0, "push>fault"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(1));
    EXPECT_TRUE(recovered);

    // The channel and its poller carry on.
    ASSERT_EQ(write(0, "push>after the fault"), ZOLT_OK);
    ASSERT_TRUE(recorderOf(0).waitForCalls(2));
    sigaction(SIGSEGV, &previous, nullptr);
    munmap(guard, 4096);
}

TEST_F(HostSignals, AForkedChildThatExitsLeavesTheParentsObjects) {
    const std::string path = openSlave(0);
    const std::string stem = SlaveFolder::stemOf(path);
    ASSERT_TRUE(mailboxExists(stem));
    // The child exits through the heap: no thread may be inside it now.
    ASSERT_TRUE(waitUntilOtherThreadsBlock(std::chrono::seconds(10)));
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    // The child runs the exit handlers the parent registered.
    if (child == 0) std::exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(mailboxExists(stem));
    EXPECT_TRUE(eventExists(stem));
    EXPECT_EQ(write(0, "echo>still here"), ZOLT_OK);
}

}  // namespace
}  // namespace zolt_test
