#include "slave_process.h"

#include "library_threads.h"

#include <cerrno>
#include <cstddef>
#include <mutex>

#include <fcntl.h>
#include <signal.h>

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zolt::posix {

namespace {

// What the liveness query reports for a slave whose status someone else
// collected: any value but "still running" does.
constexpr std::uint32_t kUnknownExitCode = 0;

// What the child ends with when its exec fails, as a shell's "not found".
constexpr int kExecFailedExitCode = 127;
constexpr int kExecReportMilliseconds = 5000;

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

// The child between vfork and exec: it runs on the parent's memory, so only
// system calls, and the host's handlers must not run in it (the exec resets
// them anyway). Marks `shared`, which the parent sees only if it shares the
// child's memory, and writes the exec's errno to the pipe if the exec fails.
[[noreturn]] void runChild(const char* path, char* const* arguments, const sigset_t* mask, int reportEnd,
                           volatile int* shared) {
    *shared = 1;
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) != 0) continue;
        if (action.sa_handler == SIG_IGN || action.sa_handler == SIG_DFL) continue;
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        ::sigaction(signal, &standard, nullptr);
    }
    ::pthread_sigmask(SIG_SETMASK, mask, nullptr);
    ::execve(path, arguments, environ);
    const int error = errno;
    ssize_t written = 0;
    do {
        written = ::write(reportEnd, &error, sizeof error);
    } while (written < 0 && errno == EINTR);
    ::_exit(kExecFailedExitCode);
}

// The errno that the child sent, or 0 once the exec has closed the pipe.
// Where the child shared the parent's memory, vfork returned only after its
// exec or its end, so the answer is there already. Elsewhere (an emulator
// runs vfork as a plain fork) the parent waits for it, but no longer than
// kExecReportMilliseconds: a child that another host thread forked meanwhile
// may hold a copy of the pipe's end and so delay its end; a start that has
// not failed by then counts as started, and the liveness check sees it end.
int execError(int reportEnd, bool childShared) {
    int error = 0;
    std::size_t got = 0;
    for (;;) {
        pollfd readable{reportEnd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, childShared ? 0 : kExecReportMilliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return 0;
        const ssize_t count = ::read(reportEnd, reinterpret_cast<char*>(&error) + got, sizeof error - got);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return 0;
        got += static_cast<std::size_t>(count);
        if (got == sizeof error) return error;
    }
}

}  // namespace

ProcessHandle spawnSlave(const char* path) {
    // The child tells a failed exec through this pipe, and only then: on
    // success the exec closes the child's end unwritten. posix_spawn reports
    // a failed exec only where its child shares the parent's memory until the
    // exec, which an emulator such as qemu-user does not give.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return 0;

    char* const arguments[] = {const_cast<char*>(path), nullptr};
    // Blocked until the child has set its own mask: a host handler must not
    // run in a child that borrows the host's memory.
    sigset_t everything;
    ::sigfillset(&everything);
    sigset_t callerMask;
    ::pthread_sigmask(SIG_SETMASK, &everything, &callerMask);
    // Opened from a callback, the slave would otherwise inherit the poller's
    // mask and ignore SIGTERM and SIGINT for good.
    const sigset_t* childMask = signalMaskForChild();
    if (childMask == nullptr) childMask = &callerMask;

    volatile int childShared = 0;
    const pid_t pid = ::vfork();
    if (pid == 0) runChild(path, arguments, childMask, report[1], &childShared);
    const int spawnError = errno;
    ::pthread_sigmask(SIG_SETMASK, &callerMask, nullptr);
    ::close(report[1]);
    const int error = pid < 0 ? spawnError : execError(report[0], childShared != 0);
    ::close(report[0]);
    if (error != 0) {
        // The child has written its word and ended; it leaves no zombie.
        if (pid > 0) {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        errno = error;
        return 0;
    }
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
