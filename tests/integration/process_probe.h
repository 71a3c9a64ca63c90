// What /proc tells about this test process and its children (Linux only).
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace zolt_test {

// Looks at `condition` every `interval` until it holds; false once `limit`
// has passed. For states that /proc shows and nothing announces.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit,
             std::chrono::milliseconds interval = std::chrono::milliseconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

// Entries in a folder such as /proc/self/fd, without "." and "..".
int entriesIn(const char* folder);
// Regions mapped into this process: lines of /proc/self/maps.
int mappedRegions();
// Ended children that nobody has reaped.
int zombieChildren();
// Waits until every child of this process has ended, reaped or not; false
// after `limit`.
bool waitUntilChildrenHaveEnded(std::chrono::milliseconds limit);
// Waits until the child `pid` has ended, and is not yet reaped; false after
// `limit`.
bool waitForZombie(int pid, std::chrono::milliseconds limit);
// CPU time, user and system, that process `pid` has used so far, in seconds;
// negative if it cannot be read.
double cpuSecondsOf(int pid);
// Times the process `pid` has stopped running on a CPU, by its own wait or
// taken off it (voluntary and involuntary context switches of its main
// thread): its wake-ups. Negative if it cannot be read.
long wakeUpsOf(int pid);
// The same, summed over every thread of this process but the main one: the
// library's threads, in a test that starts none of its own.
long wakeUpsOfOtherThreads();
// Waits until the process `pid` sleeps in a futex wait, as a kit slave does
// once it rests; false after `limit`.
bool waitUntilInFutexWait(int pid, std::chrono::milliseconds limit);
// How thread `threadId` of this process is blocked right now: in a futex
// wait or not, and if so on a futex of its own process or one shared with
// others (a named semaphore's). Told by the kernel's own view, which an
// emulator such as qemu-user does not change.
enum class FutexWait { none, processPrivate, shared };
FutexWait futexWaitOf(int threadId);
// The threads of this process that wait on a futex shared with others now.
std::vector<int> threadsWaitingOnSharedFutexes();
// Waits until every thread of this process but the calling one is blocked
// in a futex wait, such as the library's threads at rest; false after
// `limit`. A fork then finds none of them inside an allocator, whose lock
// the child would inherit held where the allocator has no fork handler of
// its own (the sanitizers').
bool waitUntilOtherThreadsBlock(std::chrono::milliseconds limit);
// Waits until a thread not among `waitingBefore` waits on a futex shared
// with others, as a poller does once resumed; false after `limit`.
bool waitForAnotherSharedFutexWaiter(const std::vector<int>& waitingBefore, std::chrono::milliseconds limit);
// Waits until `path`, a file that slaves append lines to, holds `line`.
bool waitForLine(const std::string& path, const std::string& line, std::chrono::milliseconds limit);

}  // namespace zolt_test
