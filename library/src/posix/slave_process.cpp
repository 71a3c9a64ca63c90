#include "slave_process.h"

#include "library_threads.h"

#include <mutex>

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zolt::posix {

namespace {

// What the liveness query reports for a slave whose status someone else
// collected: any value but "still running" does.
constexpr std::uint32_t kUnknownExitCode = 0;

bool isPidfd(ProcessHandle process) { return process > 0; }
int pidfdOf(ProcessHandle process) { return static_cast<int>(process - 1); }
pid_t pidOf(ProcessHandle process) { return static_cast<pid_t>(-process); }

std::uint32_t exitCodeFrom(const siginfo_t& info) {
    const int status = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
    return static_cast<std::uint32_t>(status);
}

// True once the slave has ended, reaping it if it is still ours to reap.
bool hasEnded(ProcessHandle process, std::uint32_t& exitCode) {
    if (isPidfd(process)) {
        // A pidfd turns readable when its process ends, even if the host's
        // own SIGCHLD handling has reaped it already.
        pollfd ended{pidfdOf(process), POLLIN, 0};
        if (::poll(&ended, 1, 0) != 1) return false;
        siginfo_t info{};
        const bool reaped = ::waitid(P_PIDFD, static_cast<id_t>(pidfdOf(process)), &info, WEXITED | WNOHANG) == 0 &&
                            info.si_pid != 0;
        exitCode = reaped ? exitCodeFrom(info) : kUnknownExitCode;
        return true;
    }
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pidOf(process)), &info, WEXITED | WNOHANG) != 0) {
        exitCode = kUnknownExitCode;
        return true;
    }
    if (info.si_pid == 0) return false;
    exitCode = exitCodeFrom(info);
    return true;
}

void closeHandle(ProcessHandle process) {
    if (isPidfd(process)) ::close(pidfdOf(process));
}

// Slaves released while still running. Swept whenever a handle is released,
// so in a long-running host the list stays short.
constexpr int kLingeringCapacity = 64;
std::mutex lingeringLock;
ProcessHandle lingering[kLingeringCapacity];
int lingeringCount = 0;

void sweepLingering() {
    std::uint32_t exitCode = 0;
    for (int i = 0; i < lingeringCount;) {
        if (hasEnded(lingering[i], exitCode)) {
            closeHandle(lingering[i]);
            lingering[i] = lingering[--lingeringCount];
        } else {
            ++i;
        }
    }
}

}  // namespace

ProcessHandle spawnSlave(const char* path) {
    char* const arguments[] = {const_cast<char*>(path), nullptr};
    // Opened from a callback, the slave would otherwise inherit the poller's
    // mask and ignore SIGTERM and SIGINT for good.
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0) return 0;
    if (const sigset_t* mask = signalMaskForChild(); mask != nullptr) {
        ::posix_spawnattr_setsigmask(&attributes, mask);
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, path, nullptr, &attributes, arguments, environ);
    ::posix_spawnattr_destroy(&attributes);
    if (failed != 0) return 0;
    // Called directly: glibc 2.36 declares its wrapper without C linkage.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U));
    if (pidfd >= 0) return static_cast<ProcessHandle>(pidfd) + 1;
    return -static_cast<ProcessHandle>(pid);
}

void queryExitCode(ProcessHandle process, std::uint32_t& exitCode) {
    std::uint32_t code = 0;
    if (process != 0 && hasEnded(process, code)) exitCode = code;
}

void releaseProcess(ProcessHandle process) {
    std::lock_guard lock(lingeringLock);
    sweepLingering();
    std::uint32_t exitCode = 0;
    if (hasEnded(process, exitCode) || lingeringCount == kLingeringCapacity) {
        closeHandle(process);
        return;
    }
    lingering[lingeringCount++] = process;
}

}  // namespace zolt::posix
