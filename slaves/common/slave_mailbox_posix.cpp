// The Linux side: POSIX shared memory and a named semaphore.
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "slave_mailbox.h"

namespace zolt_slave {
namespace {

constexpr std::size_t kMailboxBytes = 1 + kTextBytes;

std::string describeErrno(const std::string& what, const std::string& name) {
    return what + " " + name + ": " + std::strerror(errno);
}

sem_t* semaphoreOf(void* event) { return static_cast<sem_t*>(event); }

} // namespace

std::string stemOf(const char* programPath) {
    std::string fileName(programPath ? programPath : "");
    if (const auto slash = fileName.rfind('/'); slash != std::string::npos)
        fileName.erase(0, slash + 1);
    if (const auto dot = fileName.rfind('.'); dot != std::string::npos)
        fileName.erase(dot);
    return fileName;
}

SlaveMailbox::SlaveMailbox() : parent_(getppid()) {}

SlaveMailbox::~SlaveMailbox() {
    if (mapping_)
        munmap(mapping_, kMailboxBytes);
    if (event_)
        sem_close(semaphoreOf(event_));
}

bool SlaveMailbox::open(const char* programPath) {
    if (!programPath) {
        lastError_ = "no program path to derive the mailbox name from";
        return false;
    }
    const std::string stem = stemOf(programPath);
    const std::string mailboxName = "/" + stem + "SM";
    const std::string eventName = "/" + stem + "EM";

    const int fd = shm_open(mailboxName.c_str(), O_RDWR, 0);
    if (fd < 0) {
        lastError_ = describeErrno("cannot open mailbox", mailboxName);
        return false;
    }
    // Touching a mapping beyond the object's end would raise SIGBUS.
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size < static_cast<off_t>(kMailboxBytes)) {
        lastError_ = "mailbox " + mailboxName + " is smaller than "
                   + std::to_string(kMailboxBytes) + " bytes";
        close(fd);
        return false;
    }
    void* mapped = mmap(nullptr, kMailboxBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) {
        lastError_ = describeErrno("cannot map mailbox", mailboxName);
        return false;
    }

    sem_t* event = sem_open(eventName.c_str(), 0);
    if (event == SEM_FAILED) {
        lastError_ = describeErrno("cannot open event", eventName);
        munmap(mapped, kMailboxBytes);
        return false;
    }

    mapping_ = static_cast<unsigned char*>(mapped);
    event_ = event;
    return true;
}

void SlaveMailbox::signal() {
    sem_post(semaphoreOf(event_));
}

bool SlaveMailbox::parentGone() const {
    return getppid() != static_cast<pid_t>(parent_);
}

} // namespace zolt_slave
