// The few things the integration tests need from the system, on Linux and on
// Windows alike.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "zolt_loader.h"

namespace zolt_test {

#if defined(_WIN32)
inline constexpr char kSeparator = '\\';
inline constexpr const char* kProgramSuffix = ".exe";
inline constexpr const char* kLibraryFile = "Zolt.dll";
#else
inline constexpr char kSeparator = '/';
inline constexpr const char* kProgramSuffix = "";
inline constexpr const char* kLibraryFile = ZOLT_LIBRARY_FILE;
#endif

// The folder that holds this test program, the library and the slaves.
inline std::string binaryFolder() { return zolt_loader::programFolder(); }
// A program of the build, by its name without suffix.
inline std::string programInBuild(const std::string& name) {
    return binaryFolder() + kSeparator + name + kProgramSuffix;
}

// Set for the slaves that this process starts from now on.
void setEnvironment(const char* name, const char* value);
void clearEnvironment(const char* name);

// Sets a variable for the slaves started while it lives, and clears it again
// however the test ends, a failed assertion included.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        setEnvironment(name, value.c_str());
    }
    ~ScopedEnvironment() { clearEnvironment(name_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
};

// Signals the named event of a stem, as its slave would.
bool signalEvent(const std::string& stem, int times);

int currentProcessId();
// The system's id of the calling thread: gettid, GetCurrentThreadId.
int currentThreadId();

// For a test that must act while another thread of this process waits: these
// see the wait instead of sleeping and hoping, and give up, false, after
// `limit`. Windows shows a test no thread's wait, so there they only give the
// thread a short grace and return true.

// Waits until thread `threadId` is blocked in a wait, or `done` is set.
bool waitUntilBlockedOrDone(int threadId, const std::atomic<bool>& done, std::chrono::milliseconds limit);
// Waits until thread `threadId` waits on an object shared with other
// processes: a poller, on its slave's event.
bool waitUntilWaitingOnSharedObject(int threadId, std::chrono::milliseconds limit);

// Ends the process `pid` as SIGKILL or TerminateProcess do, and waits until it
// has ended. False if it could not be ended.
bool killProcess(int pid);

// True while a process started from `programPath` runs: found by its first
// argument on Linux, by its file name on Windows.
bool programRunning(const std::string& programPath);
#if !defined(_WIN32)
// The id of such a process, or 0.
int runningProcessOf(const std::string& programPath);
#endif

// True while a process holds the stem's claim, that is has a channel of that
// stem open.
bool stemClaimed(const std::string& stem);

// Removes a stem's mailbox and event, for tests whose hosts end without the
// clean exit that removes them. Windows removes a name with its last handle.
void removeChannelObjects(const std::string& stem);

// Takes every signal of a stem's event, as another process waiting on it
// would, on a thread of its own until dropped.
class SignalThief {
public:
    explicit SignalThief(const std::string& stem);
    ~SignalThief();
    SignalThief(const SignalThief&) = delete;
    SignalThief& operator=(const SignalThief&) = delete;
    bool opened() const { return event_ != nullptr; }
    int taken() const { return taken_.load(); }

private:
    void* event_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<int> taken_{0};
    std::thread thread_;
};

// Another process: a program with its arguments. Killed when dropped, if it
// still runs.
class OtherProcess {
public:
    OtherProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~OtherProcess();
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    bool started() const { return started_; }
    // The exit code once it has ended, waiting up to `limit`; -1 while it runs.
    int exitCode(std::chrono::milliseconds limit);
    // Ends it as SIGKILL or TerminateProcess do, and waits until it has ended.
    void kill();

private:
    bool started_ = false;
    std::intptr_t process_ = 0;  // the pid, or the process handle
    int exitCode_ = -1;
};

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // standard output, byte for byte
};
// Runs `program` in `folder` and collects what it prints. On Linux the
// library search path is cleared, so only the program's own folder counts.
ProgramRun runProgram(const std::string& program, const std::string& folder);

#if defined(_WIN32)
// A program started with CreateProcessA and exactly the command line given.
// ZoltMasterOpen passes none, and Windows then makes the application path
// itself the command line, unquoted; Wine quotes it. Ended when dropped, if
// still running.
class StartedProgram {
public:
    StartedProgram(const std::string& program, std::string commandLine, const std::string& folder);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool started() const { return process_ != nullptr; }
    // The exit code once the program has ended, waiting up to `milliseconds`;
    // -1 while it still runs.
    long exitCode(unsigned long milliseconds);

private:
    void* process_ = nullptr;
};
#endif

}  // namespace zolt_test
