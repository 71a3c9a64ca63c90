#include "system_os.h"

#include <cerrno>
#include <climits>
#include <ctime>

#include <linux/futex.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "library_threads.h"
#include "named_objects.h"
#include "slave_process.h"
#include "zolt_protocol.h"
#include "stem_claims.h"

namespace zolt {

namespace {
// More than any slave gives between two waits, far from overflowing a count.
constexpr int kMostSignalsTaken = 1024;
}  // namespace

SharedMemoryHandle SystemOs::createSharedMemory(const char* name, std::size_t size) {
    const int descriptor = posix::openSharedMemory(name, size);
    return descriptor < 0 ? 0 : static_cast<SharedMemoryHandle>(descriptor) + 1;
}

unsigned char* SystemOs::mapSharedMemory(SharedMemoryHandle memory, std::size_t size) {
    const int descriptor = static_cast<int>(memory - 1);
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    // The mapping keeps the object alive; a long-running host must not
    // collect one descriptor per open. A failed map's errno stays.
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return view == MAP_FAILED ? nullptr : static_cast<unsigned char*>(view);
}

void SystemOs::unmapSharedMemory(unsigned char* view, std::size_t size) { ::munmap(view, size); }

EventHandle SystemOs::createEvent(const char* name) {
    return reinterpret_cast<EventHandle>(posix::openSemaphore(name));
}

int SystemOs::waitForEvent(EventHandle event, WakeHandle /*wake*/, int milliseconds) {
    sem_t* semaphore = reinterpret_cast<sem_t*>(event);
    int taken = 0;
    if (milliseconds == kNoTimeLimit) {
        while (::sem_wait(semaphore) != 0) {
            if (errno != EINTR) return -1;
        }
    } else {
        // On the monotonic clock: setting the system's clock must not stretch it.
        timespec deadline{};
        ::clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += milliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1'000'000;
        if (deadline.tv_nsec >= 1'000'000'000) {
            ++deadline.tv_sec;
            deadline.tv_nsec -= 1'000'000'000;
        }
        while (::sem_clockwait(semaphore, CLOCK_MONOTONIC, &deadline) != 0) {
            if (errno == ETIMEDOUT) return 0;
            if (errno != EINTR) return -1;
        }
    }
    // An auto-reset event keeps no count: posts that piled up are one signal.
    // Bounded, so a slave that posts without pause cannot keep the poller (and
    // a close waiting for it) here; what is left is the next wait's at once.
    for (taken = 1; taken < kMostSignalsTaken && ::sem_trywait(semaphore) == 0; ++taken) {
    }
    return taken;
}

// A semaphore cannot be waited on together with anything else: close ends
// the wait with a post of its own.
WakeHandle SystemOs::createWakeUp() { return 0; }
void SystemOs::wakeUp(WakeHandle /*wake*/) {}

void SystemOs::signalEvent(EventHandle event) { ::sem_post(reinterpret_cast<sem_t*>(event)); }

ClaimResult SystemOs::claimStem(const char* name, ClaimHandle& claim) { return posix::claimStem(name, claim); }

void SystemOs::releaseStemClaim(ClaimHandle claim) { posix::releaseStemClaim(claim); }

ProcessHandle SystemOs::startProcess(const char* path) { return posix::spawnSlave(path); }

void SystemOs::queryExitCode(ProcessHandle process, std::uint32_t& exitCode) {
    posix::queryExitCode(process, exitCode);
}

void SystemOs::releaseProcess(ProcessHandle process) { posix::releaseProcess(process); }

ThreadHandle SystemOs::createThread(ThreadBody body, void* argument, std::uint32_t& threadId) {
    // Linux threads have no 32-bit identifier of the kind Windows reports.
    threadId = 0;
    return posix::startLibraryThread(body, argument);
}

// nanosleep is as precise as the system's timers: no sleeper needs a timer
// of its own.
void SystemOs::sleepOneMillisecond(int /*sleeper*/) {
    timespec remaining{0, 1'000'000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void SystemOs::finishSleeping(int /*sleeper*/) {}

// The mailbox's first word serves instead.
WakeHandle SystemOs::createSlaveWakeUp(const char* /*name*/) { return 0; }

// A shared futex, not a private one: the waiter is another process. With
// nobody waiting it costs one quick system call.
void SystemOs::wakeSlave(unsigned char* mailbox, WakeHandle /*slaveWakeUp*/) {
    ::syscall(SYS_futex, mailbox + ZOLT_WAKE_WORD_OFFSET, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}
std::uint32_t SystemOs::processId() { return static_cast<std::uint32_t>(::getpid()); }

int SystemOs::lastError() { return errno; }

void SystemOs::restoreLastError(int error) { errno = error; }

}  // namespace zolt
