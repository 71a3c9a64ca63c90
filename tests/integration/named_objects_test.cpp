// What the library leaves in the system's shared-memory folder, and whose it is.
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

using NamedObjects = ChannelTest;

constexpr uid_t kSomeoneElse = 65534;  // nobody

TEST_F(NamedObjects, BelongToTheCurrentUserOnly) {
    const std::string stem = SlaveFolder::stemOf(openSlave(0));
    EXPECT_EQ(mailboxMode(stem), 0600);
    EXPECT_EQ(eventMode(stem), 0600);
}

TEST_F(NamedObjects, AMailboxOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give an object away";
    const std::string slave = slaves.newSlave();
    const std::string name = "/" + SlaveFolder::stemOf(slave) + "SM";
    const int descriptor = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::ftruncate(descriptor, 1025), 0);
    ASSERT_EQ(::fchown(descriptor, kSomeoneElse, kSomeoneElse), 0);
    ::close(descriptor);

    EXPECT_EQ(api.open(0, slave.c_str()), ZOLT_OPEN_SHARED_MEMORY_FAILED);
    ::shm_unlink(name.c_str());
}

TEST_F(NamedObjects, AnEventOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give an object away";
    const std::string slave = slaves.newSlave();
    const std::string stem = SlaveFolder::stemOf(slave);
    sem_t* foreign = ::sem_open(("/" + stem + "EM").c_str(), O_CREAT | O_EXCL, 0666, 0U);
    ASSERT_NE(foreign, SEM_FAILED);
    ::sem_close(foreign);
    ASSERT_EQ(::chown(("/dev/shm/sem." + stem + "EM").c_str(), kSomeoneElse, kSomeoneElse), 0);

    EXPECT_EQ(api.open(0, slave.c_str()), ZOLT_OPEN_EVENT_FAILED);
    ::sem_unlink(("/" + stem + "EM").c_str());
    ::shm_unlink(("/" + stem + "SM").c_str());
}

TEST_F(NamedObjects, AnOwnMailboxThatIsTooSmallIsGrown) {
    const std::string slave = slaves.newSlave();
    const std::string name = "/" + SlaveFolder::stemOf(slave) + "SM";
    const int descriptor = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::ftruncate(descriptor, 16), 0);
    ::close(descriptor);

    ASSERT_EQ(api.open(0, slave.c_str()), ZOLT_OK);
    const std::string longest(1018, 'g');
    ASSERT_EQ(write(0, "echo>" + longest), ZOLT_OK);
    EXPECT_EQ(reply(0), longest);
    EXPECT_EQ(api.close(0), ZOLT_OK);
    ::shm_unlink(name.c_str());
}

// A separate host process, so the test sees what a normal exit leaves behind.
TEST(HostExit, ANormalExitRemovesTheNamesTheHostCreated) {
    SlaveFolder slaves;
    const std::string slave = slaves.newSlave();
    const std::string host = binaryFolder() + "/zolt_exit_host";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(host.c_str(), host.c_str(), slave.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the host could not talk to its slave";
    EXPECT_FALSE(mailboxExists(SlaveFolder::stemOf(slave)));
    EXPECT_FALSE(eventExists(SlaveFolder::stemOf(slave)));
}

}  // namespace
}  // namespace zolt_test
