#include "slave_mailbox.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zolt_slave {
namespace {

constexpr std::size_t kMailboxBytes = 1 + kTextBytes;
constexpr auto kPollInterval = std::chrono::microseconds(100);

// The host sees the state byte from another process; a lock-based
// atomic would not synchronise with it.
static_assert(std::atomic_ref<unsigned char>::is_always_lock_free);

std::string describeErrno(const std::string& what, const std::string& name) {
    return what + " " + name + ": " + std::strerror(errno);
}

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
    if (event_ != SEM_FAILED)
        sem_close(event_);
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

unsigned char SlaveMailbox::loadState() const {
    return std::atomic_ref<unsigned char>(mapping_[0]).load(std::memory_order_acquire);
}

const char* SlaveMailbox::waitForCommand() {
    while (loadState() == 0) {
        exitIfParentGone();
        std::this_thread::sleep_for(kPollInterval);
    }
    // The host may have left no terminator; never read past the mailbox.
    const char* text = reinterpret_cast<const char*>(mapping_ + 1);
    const std::size_t length = strnlen(text, kTextBytes);
    std::memcpy(command_, text, length);
    command_[length] = '\0';
    return command_;
}

void SlaveMailbox::reply(const char* text) {
    const std::size_t length = strnlen(text, kMaxTextLength);
    char* area = reinterpret_cast<char*>(mapping_ + 1);
    std::memmove(area, text, length);
    area[length] = '\0';
    setState(0);
}

void SlaveMailbox::replyWithoutNul() {
    std::memset(mapping_ + 1, 'Z', kTextBytes);
    setState(0);
}

void SlaveMailbox::setState(unsigned char value) {
    std::atomic_ref<unsigned char>(mapping_[0]).store(value, std::memory_order_release);
}

void SlaveMailbox::signal() {
    sem_post(event_);
}

bool SlaveMailbox::parentGone() const {
    return getppid() != parent_;
}

void SlaveMailbox::exitIfParentGone() const {
    if (parentGone())
        std::exit(kOrphanExitCode);
}

void SlaveMailbox::pause(std::chrono::milliseconds duration) const {
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const auto end = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        exitIfParentGone();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kSlice, end - now));
    }
    exitIfParentGone();
}

void SlaveMailbox::idleUntilParentGone() const {
    for (;;) {
        exitIfParentGone();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace zolt_slave
