#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "process_probe.h"
#include "test_platform.h"

namespace zolt_test {

void setEnvironment(const char* name, const char* value) { ::setenv(name, value, 1); }
void clearEnvironment(const char* name) { ::unsetenv(name); }

bool signalEvent(const std::string& stem, int times) {
    sem_t* event = ::sem_open(("/" + stem + "EM").c_str(), 0);
    if (event == SEM_FAILED) return false;
    for (int i = 0; i < times; ++i) ::sem_post(event);
    ::sem_close(event);
    return true;
}

int currentProcessId() { return static_cast<int>(::getpid()); }

int currentThreadId() { return static_cast<int>(::gettid()); }

bool waitUntilBlockedOrDone(int threadId, const std::atomic<bool>& done, std::chrono::milliseconds limit) {
    const auto blockedOrDone = [&] { return done || futexWaitOf(threadId) != FutexWait::none; };
    return waitFor(blockedOrDone, limit, std::chrono::milliseconds(1));
}

bool waitUntilWaitingOnSharedObject(int threadId, std::chrono::milliseconds limit) {
    const auto waiting = [&] { return futexWaitOf(threadId) == FutexWait::shared; };
    return waitFor(waiting, limit, std::chrono::milliseconds(1));
}

bool killProcess(int pid) {
    // A pidfd, so the wait ends with this process and no other of its id; it
    // turns readable once the process has ended, even if nobody reaps it.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U));
    if (pidfd < 0) return false;
    const bool killed = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
    pollfd ended{pidfd, POLLIN, 0};
    const bool gone = killed && ::poll(&ended, 1, 10000) == 1;
    ::close(pidfd);
    return gone;
}

ProgramRun runProgram(const std::string& program, const std::string& folder) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::unsetenv("LD_LIBRARY_PATH");
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    ProgramRun run;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

int runningProcessOf(const std::string& programPath) {
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return 0;
    int found = 0;
    while (const dirent* entry = ::readdir(processes)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        std::ifstream file(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
        std::string commandLine((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        // A zombie has an empty command line: it runs no more.
        if (commandLine.c_str() == programPath) {
            found = std::atoi(entry->d_name);
            break;
        }
    }
    ::closedir(processes);
    return found;
}

void removeChannelObjects(const std::string& stem) {
    ::shm_unlink(("/" + stem + ZOLT_MAILBOX_SUFFIX).c_str());
    ::sem_unlink(("/" + stem + ZOLT_EVENT_SUFFIX).c_str());
}

bool programRunning(const std::string& programPath) { return runningProcessOf(programPath) != 0; }

bool stemClaimed(const std::string& stem) {
    const std::string name = stem + ZOLT_CLAIM_SUFFIX;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool claimed =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address),
                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0;
    ::close(probe);
    return claimed;
}

SignalThief::SignalThief(const std::string& stem) {
    sem_t* event = ::sem_open(("/" + stem + "EM").c_str(), 0);
    if (event == SEM_FAILED) return;
    event_ = event;
    thread_ = std::thread([this, event] {
        while (!stop_) {
            timespec deadline{};
            ::clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_nsec += 1'000'000;
            if (deadline.tv_nsec >= 1'000'000'000) {
                ++deadline.tv_sec;
                deadline.tv_nsec -= 1'000'000'000;
            }
            if (::sem_timedwait(event, &deadline) == 0) ++taken_;
        }
    });
}

SignalThief::~SignalThief() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (event_ != nullptr) ::sem_close(static_cast<sem_t*>(event_));
}

OtherProcess::OtherProcess(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    started_ = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
    process_ = pid;
}

OtherProcess::~OtherProcess() {
    if (started_ && exitCode_ < 0) kill();
}

int OtherProcess::exitCode(std::chrono::milliseconds limit) {
    if (!started_ || exitCode_ >= 0) return exitCode_;
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(static_cast<pid_t>(process_), &status, WNOHANG);
        if (ended == process_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (ended < 0 || std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void OtherProcess::kill() {
    if (!started_ || exitCode_ >= 0) return;
    ::kill(static_cast<pid_t>(process_), SIGKILL);
    int status = 0;
    ::waitpid(static_cast<pid_t>(process_), &status, 0);
    exitCode_ = 128 + SIGKILL;
}

}  // namespace zolt_test
