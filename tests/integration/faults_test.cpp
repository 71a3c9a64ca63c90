// Slaves that break the mailbox contract, a host killed mid-exchange, and
// host threads that close or reopen a channel while others use it. Every
// case ends with the library still serving: the same channel once reopened,
// and another channel meanwhile. Time-outs here take their real 4000 sleeps;
// only their outcome is checked.
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "channel_fixture.h"
#include "process_probe.h"

namespace zolt_test {
namespace {

using namespace std::chrono_literals;

class Faults : public ChannelTest {
protected:
    // A fresh slave on `channel` answers, whatever happened elsewhere.
    void expectServes(int channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        openSlave(channel);
        ASSERT_EQ(write(channel, "echo>still here"), ZOLT_OK);
        EXPECT_EQ(reply(channel), "still here");
        EXPECT_EQ(api.close(static_cast<std::int8_t>(channel)), ZOLT_OK);
    }

    // The slave takes the command and dies without a reply.
    void crashMidExchange(const std::string& command) {
        const std::string slave = openSlave(0);
        ASSERT_EQ(write(0, "echo>last good"), ZOLT_OK);
        EXPECT_EQ(write(0, command), ZOLT_WRITE_REPLY_TIMEOUT);
        EXPECT_EQ(reply(0), "last good");
        EXPECT_EQ(write(0, "echo>too late"), ZOLT_WRITE_SLAVE_ENDED);
        EXPECT_EQ(api.close(0), ZOLT_WRITE_SLAVE_ENDED);
        EXPECT_EQ(write(0, "echo>closed"), ZOLT_WRITE_NOT_OPEN);

        // The mailbox it died on is reused by the next slave of that name.
        ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
        ASSERT_EQ(write(0, "echo>reopened"), ZOLT_OK);
        EXPECT_EQ(reply(0), "reopened");
        EXPECT_EQ(api.close(0), ZOLT_OK);
        expectServes(1);
    }
};

// Every line of a file that a test slave logs its commands to.
std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

TEST_F(Faults, ASlaveThatAbortsMidExchangeTimesOutThenReportsItsEndAndStillCloses) {
    crashMidExchange("crash>abort");
}

TEST_F(Faults, ASlaveKilledBySegvMidExchangeTimesOutThenReportsItsEndAndStillCloses) {
    crashMidExchange("crash>segv");
}

TEST_F(Faults, ASlaveThatEndsBeforeItsFirstCommandIsReportedEndedAndReaped) {
    const std::string slave = slaves.newSlave();
    const std::string log = slave + ".log";
    {
        const ScopedEnvironment logged("ZOLT_TEST_SLAVE_LOG", log);
        const ScopedEnvironment exiting("ZOLT_TEST_SLAVE_EXIT_AT_START", "7");
        ASSERT_EQ(api.open(2, slave.c_str()), ZOLT_OK);
    }
    int pid = 0;
    for (int tries = 0; tries < 2000 && pid == 0; ++tries) {
        const std::vector<std::string> lines = linesOf(log);
        if (!lines.empty() && lines[0].rfind("exiting ", 0) == 0) pid = std::stoi(lines[0].substr(8));
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_NE(pid, 0) << "the slave never started";
    ASSERT_TRUE(waitForZombie(pid, 10s)) << "the slave never ended";

    EXPECT_EQ(write(2, "echo>nobody there"), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_EQ(api.close(2), ZOLT_WRITE_SLAVE_ENDED);
    EXPECT_FALSE(waitForZombie(pid, 0ms)) << "the ended slave was not reaped";
    expectServes(2);
    expectServes(3);
}

TEST_F(Faults, StateBytesOtherThanIdleNeverPassForAReply) {
    openSlave(4);
    // The slave leaves the value over a text that is no reply, then answers
    // properly a while later: only that answer may come back.
    for (const char* value : {"2", "128", "255"}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(write(4, std::string("state>") + value + ">300"), ZOLT_OK);
        EXPECT_EQ(reply(4), "held");
    }
    ASSERT_EQ(write(4, "echo>after"), ZOLT_OK);
    EXPECT_EQ(reply(4), "after");
}

TEST_F(Faults, AForeignStateLeftForeverBlocksOnlyItsChannelUntilItsSlaveEndsAndTheNextOpenResetsIt) {
    const std::string slave = openSlave(5);
    ASSERT_EQ(write(5, "pid"), ZOLT_OK);
    const int stuckPid = std::stoi(reply(5));
    ASSERT_EQ(write(5, "echo>before"), ZOLT_OK);
    EXPECT_EQ(write(5, "state>7"), ZOLT_WRITE_REPLY_TIMEOUT);
    EXPECT_EQ(reply(5), "before");
    expectServes(6);
    EXPECT_EQ(api.close(5), ZOLT_WRITE_MAILBOX_BUSY);
    EXPECT_EQ(write(5, "echo>closed"), ZOLT_WRITE_NOT_OPEN);

    // The stuck slave still holds the mailbox: no second one joins it.
    EXPECT_EQ(api.open(5, slave.c_str()), ZOLT_OPEN_STEM_IN_USE);
    ASSERT_TRUE(killProcess(stuckPid));
    ASSERT_EQ(api.open(5, slave.c_str()), ZOLT_OK);
    ASSERT_EQ(write(5, "echo>reset"), ZOLT_OK);
    EXPECT_EQ(reply(5), "reset");
}

// A mailbox, still pending, and an event left by a host killed with SIGKILL:
// the next host that opens the same slave reuses both cleanly.
TEST_F(Faults, ObjectsLeftByAKilledHostAreReusedByTheNextHost) {
    const std::string slave = slaves.newSlave();
    const std::string stem = SlaveFolder::stemOf(slave);
    const std::string log = slave + ".log";
    const std::string host = binaryFolder() + "/zolt_exit_host";
    // Set before the fork: the child of a threaded process may only exec.
    pid_t pid = 0;
    {
        const ScopedEnvironment logged("ZOLT_TEST_SLAVE_LOG", log);
        pid = ::fork();
        if (pid == 0) {
            ::execl(host.c_str(), host.c_str(), slave.c_str(), "hang", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ASSERT_GT(pid, 0);
    const bool muted = waitForLine(log, "mute", 20s);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(muted) << "the host never got to its last command";
    ASSERT_TRUE(WIFSIGNALED(status));

    // Left behind, with the command still pending.
    ASSERT_TRUE(mailboxExists(stem));
    ASSERT_TRUE(eventExists(stem));
    {
        std::ifstream mailbox("/dev/shm/" + stem + "SM", std::ios::binary);
        char state = 0;
        ASSERT_TRUE(mailbox.get(state));
        EXPECT_EQ(state, 1);
    }

    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    ASSERT_EQ(write(0, "echo>next host"), ZOLT_OK);
    EXPECT_EQ(reply(0), "next host");
    ASSERT_EQ(write(0, "count"), ZOLT_OK);
    EXPECT_EQ(reply(0), "1") << "not a fresh slave";
    EXPECT_EQ(api.close(0), ZOLT_OK);
    expectServes(1);

    // This host did not create them, so it does not remove them at exit.
    removeChannelObjects(stem);
}

// Nothing a host or a slave of ours leaves behind looks like this, but any
// program of the same user can: an empty file where the event should be.
TEST_F(Faults, AnEventFileTooShortForASemaphoreIsRefusedRatherThanCrashingTheHost) {
    const std::string slave = slaves.newSlave();
    const std::string stem = SlaveFolder::stemOf(slave);
    const std::string eventFile = "/dev/shm/sem." + stem + "EM";
    const int descriptor = ::open(eventFile.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(descriptor, 0);
    ::close(descriptor);

    EXPECT_EQ(api.open(0, slave.c_str()), ZOLT_OPEN_EVENT_FAILED);
    EXPECT_EQ(api.event(0, nullptr), ZOLT_EVENT_NOT_OPEN);
    EXPECT_EQ(write(0, "echo>x"), ZOLT_WRITE_NOT_OPEN);
    ::unlink(eventFile.c_str());

    // Once the file is gone the same slave opens as usual.
    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    ASSERT_EQ(api.event(0, nullptr), ZOLT_OK);
    ASSERT_EQ(write(0, "echo>fine"), ZOLT_OK);
    EXPECT_EQ(reply(0), "fine");
    EXPECT_EQ(api.close(0), ZOLT_OK);
    expectServes(1);
}

// A full /dev/shm (in a namespace of its own, a 64 KiB tmpfs filled to the
// brim): the open yields 1 instead of SIGBUS, a kit slave refuses a mailbox
// without pages, and the same path opens once there is room again.
TEST_F(Faults, AFullSharedMemoryFolderIsAStatusAndTheSamePathOpensOnceThereIsRoom) {
    constexpr int kNoNamespace = 99;
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs takes root";
    const std::string slave = slaves.newSlave();
    // The tmpfs must not show outside the namespace: the mounts are made
    // private first, all of them or, where / is no mount point (a chroot),
    // /dev/shm's alone; where neither can be, nothing is mounted.
    const std::string noNamespace = " || exit " + std::to_string(kNoNamespace);
    const std::string script = "{ mount --make-rprivate / 2>/dev/null || mount --make-private /dev/shm; }" +
                               noNamespace + "; mount -t tmpfs -o size=64k,mode=1777 zolt-full /dev/shm" +
                               noNamespace + "; exec \"$0\" \"$1\"";
    OtherProcess host("/usr/bin/unshare", {"--mount", "--propagation", "unchanged", "/bin/sh", "-c", script,
                                           programInBuild("zolt_full_shm_host"), slave});
    if (!host.started()) GTEST_SKIP() << "no unshare here";
    const int exitCode = host.exitCode(60s);
    if (exitCode == kNoNamespace) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(exitCode, 0) << "the step of zolt_full_shm_host.cpp that went wrong";
}

using Concurrency = ChannelTest;

TEST_F(Concurrency, CloseFromAnotherThreadWaitsForTheExchangeInProgress) {
    const std::string slave = slaves.newSlave();
    const std::string log = slave + ".log";
    {
        const ScopedEnvironment logged("ZOLT_TEST_SLAVE_LOG", log);
        ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    }

    std::atomic<int> slowStatus{-1};
    std::thread slowWriter([&] { slowStatus = write(0, "sleep>300"); });
    // Closed only once the slave holds the command, so the close really
    // arrives during the exchange.
    const bool started = waitForLine(log, "sleep>300", 10s);
    const std::int8_t closeStatus = api.close(0);
    slowWriter.join();
    ASSERT_TRUE(started);

    EXPECT_EQ(slowStatus.load(), ZOLT_OK);
    EXPECT_EQ(closeStatus, ZOLT_OK);
    EXPECT_EQ(reply(0), "Bye");
    EXPECT_EQ(write(0, "echo>closed"), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(linesOf(log), (std::vector<std::string>{"sleep>300", "Close"}));

    ASSERT_EQ(api.open(1, slaves.newSlave().c_str()), ZOLT_OK);
    ASSERT_EQ(write(1, "echo>other"), ZOLT_OK);
    EXPECT_EQ(reply(1), "other");
    EXPECT_EQ(api.close(1), ZOLT_OK);
}

std::atomic<int> notificationsSeen{0};

template <int Channel>
void ZOLT_CALL countNotification() {
    // The text is not read: other threads write to the same channel meanwhile,
    // and their replies may replace it while the callback runs.
    ++notificationsSeen;
}

// Host threads open, write, enable, read and close two channels in random
// order, with notifications flowing. Every status must be one a correct
// slave can cause, and the channels serve afterwards.
TEST_F(Concurrency, RandomCallsFromSeveralThreadsOnTwoChannelsKeepTheLibraryServing) {
    const std::string paths[2] = {slaves.newSlave(), slaves.newSlave()};
    const NotifyCallback callbacks[2] = {&countNotification<0>, &countNotification<1>};
    constexpr int kThreads = 3;
    constexpr int kCalls = 150;
    std::atomic<int> unexpected{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&, t] {
            std::minstd_rand random(static_cast<unsigned>(t + 1));
            for (int i = 0; i < kCalls; ++i) {
                const int channel = static_cast<int>(random() % 2);
                const auto c = static_cast<std::int8_t>(channel);
                int status = ZOLT_OK;
                switch (random() % 6) {
                case 0:
                    status = api.open(c, paths[channel].c_str());
                    if (status == ZOLT_OPEN_ALREADY_OPEN) status = ZOLT_OK;
                    break;
                case 1: status = api.close(c); break;
                case 2: status = api.event(c, callbacks[channel]); break;
                case 3: status = write(channel, "push>note " + std::to_string(i)); break;
                case 4: status = api.read(c) == nullptr ? -1 : ZOLT_OK; break;
                default: status = write(channel, "echo>" + std::to_string(i)); break;
                }
                // "Not open" is the one failure another thread's close explains.
                if (status != ZOLT_OK && status != ZOLT_WRITE_NOT_OPEN) ++unexpected;
            }
        });
    }
    for (std::thread& host : hosts) host.join();
    EXPECT_EQ(unexpected.load(), 0);
    for (int channel = 0; channel < 2; ++channel) {
        api.close(static_cast<std::int8_t>(channel));
        ASSERT_EQ(api.open(static_cast<std::int8_t>(channel), paths[channel].c_str()), ZOLT_OK);
        ASSERT_EQ(write(channel, "echo>afterwards"), ZOLT_OK);
        EXPECT_EQ(reply(channel), "afterwards");
        EXPECT_EQ(api.close(static_cast<std::int8_t>(channel)), ZOLT_OK);
    }
}

}  // namespace
}  // namespace zolt_test
