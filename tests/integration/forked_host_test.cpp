// A host among other processes on Linux: forked children of the host, names
// left by a killed host, objects of ours that someone made world-writable.
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "channel_fixture.h"
#include "process_probe.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> notifications{0};
void ZOLT_CALL countNotification() { ++notifications; }

// What the child's three calls yielded, as its exit code: 0 when all were 3.
constexpr int kChildOk = 0;
constexpr int kChildWrong = 1;

class ForkedChild : public ChannelTest, public ::testing::WithParamInterface<bool> {
protected:
    // Runs the child's calls on channel 0 and returns its exit code, or -1 if
    // it did not end within the limit (then it is killed).
    int runChild() {
        const pid_t child = ::fork();
        if (child == 0) {
            const bool allNotOpen = api.close(0) == ZOLT_WRITE_NOT_OPEN && api.write(0, "echo>child") == ZOLT_WRITE_NOT_OPEN &&
                                    api.event(0, &countNotification) == ZOLT_EVENT_NOT_OPEN &&
                                    api.open(1, "/nonexistent/Child") == ZOLT_OPEN_NO_POLLER;
            ::_exit(allNotOpen ? kChildOk : kChildWrong);
        }
        EXPECT_GT(child, 0);
        const auto end = std::chrono::steady_clock::now() + 10s;
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(5ms);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// The parameter: whether the parent's poller waits on the event at the fork.
TEST_P(ForkedChild, CloseWriteAndEventOnTheParentsChannelYieldThreeAndTouchNothing) {
    openSlave(0);
    const bool pollerWaits = GetParam();
    notifications = 0;
    if (pollerWaits) {
        // Suspended, the poller waits on nothing shared; resumed, on the event.
        const std::vector<int> waitingBefore = threadsWaitingOnSharedFutexes();
        // Enough resumes for whatever closes earlier tests gave channel 0.
        for (int i = 0; i < 5000; ++i) api.event(0, &countNotification);
        ASSERT_TRUE(waitForAnotherSharedFutexWaiter(waitingBefore, 10s)) << "the poller never waited on the event";
    }
    // "count" answers with the commands the slave had before it.
    ASSERT_EQ(write(0, "count"), ZOLT_OK);
    ASSERT_EQ(reply(0), "0");

    EXPECT_EQ(runChild(), kChildOk);

    // The parent's slave saw nothing of the child: no "Close", no command.
    ASSERT_EQ(write(0, "count"), ZOLT_OK);
    EXPECT_EQ(reply(0), "1");
    if (pollerWaits) {
        ASSERT_EQ(write(0, "push>after the fork"), ZOLT_OK);
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (notifications == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
        EXPECT_EQ(notifications, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Poller, ForkedChild, ::testing::Values(false, true),
                         [](const auto& run) { return run.param ? "Waiting" : "Suspended"; });

using LooseObjects = ChannelTest;

TEST_F(LooseObjects, AMailboxAndSemaphoreOfOursOpenToAllAreTakenBackTo0600) {
    const std::string slave = slaves.newSlave();
    const std::string stem = SlaveFolder::stemOf(slave);
    const int descriptor = ::shm_open(("/" + stem + "SM").c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::fchmod(descriptor, 0666), 0);
    ASSERT_EQ(::ftruncate(descriptor, 1025), 0);
    ::close(descriptor);
    sem_t* event = ::sem_open(("/" + stem + "EM").c_str(), O_CREAT | O_EXCL, 0600, 0U);
    ASSERT_NE(event, SEM_FAILED);
    ::sem_close(event);
    ASSERT_EQ(::chmod(("/dev/shm/sem." + stem + "EM").c_str(), 0666), 0);
    ASSERT_EQ(mailboxMode(stem), 0666);

    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    EXPECT_EQ(mailboxMode(stem), 0600);
    EXPECT_EQ(eventMode(stem), 0600);
    EXPECT_EQ(write(0, "echo>private"), ZOLT_OK);
    EXPECT_EQ(reply(0), "private");
    EXPECT_EQ(api.close(0), ZOLT_OK);
    removeChannelObjects(stem);
}

TEST(HostExit, ANameLeftByAKilledHostIsGoneAfterTheNextHostsCleanExit) {
    SlaveFolder slaves;
    const std::string slave = slaves.newSlave();
    const std::string stem = SlaveFolder::stemOf(slave);
    const std::string log = slave + ".log";
    const std::string host = programInBuild("zolt_exit_host");
    setEnvironment("ZOLT_TEST_SLAVE_LOG", log.c_str());
    OtherProcess crashed(host, {slave, "hang"});
    clearEnvironment("ZOLT_TEST_SLAVE_LOG");
    ASSERT_TRUE(waitForLine(log, "mute", 30s));
    crashed.kill();
    ASSERT_TRUE(mailboxExists(stem));
    ASSERT_TRUE(eventExists(stem));

    OtherProcess next(host, {slave});
    EXPECT_EQ(next.exitCode(60s), 0);
    EXPECT_FALSE(mailboxExists(stem));
    EXPECT_FALSE(eventExists(stem));
}

}  // namespace
}  // namespace zolt_test
