// The one door between the channel logic and the operating system. The core
// calls nothing else of the system, so it runs the same on every platform and
// under a fake in the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zolt.h"

namespace zolt {

// Opaque handles. Zero means "none" for every kind.
using SharedMemoryHandle = std::intptr_t;
using EventHandle = std::intptr_t;
using ProcessHandle = std::intptr_t;
using ThreadHandle = std::intptr_t;
using ClaimHandle = std::intptr_t;
using WakeHandle = std::intptr_t;

enum class ClaimResult { Claimed, InUse, Failed };

// The exit code that a liveness query leaves untouched while the slave runs.
inline constexpr std::uint32_t kStillRunning = 259;

using ThreadBody = void (*)(void* argument);

// A wait on an event with no time limit.
inline constexpr int kNoTimeLimit = -1;

// One sleeper per channel: a channel's exchanges never overlap.
inline constexpr int kSleeperCount = ZOLT_CHANNEL_COUNT;

class Os {
public:
    // Creates the named shared-memory object, or opens an existing one, with at
    // least `size` bytes. Zero on failure.
    virtual SharedMemoryHandle createSharedMemory(const char* name, std::size_t size) = 0;

    // Maps `size` bytes of the object. Null on failure. The handle may be
    // consumed here: callers never use it again.
    virtual unsigned char* mapSharedMemory(SharedMemoryHandle memory, std::size_t size) = 0;
    virtual void unmapSharedMemory(unsigned char* view, std::size_t size) = 0;

    // Creates the named auto-reset event, or opens an existing one as it is
    // (a pending signal stays pending). Zero on failure.
    virtual EventHandle createEvent(const char* name) = 0;

    // Blocks until the event is signalled, `wake` is woken, or `milliseconds`
    // have passed (kNoTimeLimit: never), and takes every signal of the event
    // that piled up: they count as one wake-up. Returns how many it took
    // from the event, so a signal given only to end the wait can be told
    // from the slave's; 0 when woken or the time ran out, -1 when the wait
    // failed.
    virtual int waitForEvent(EventHandle event, WakeHandle wake, int milliseconds) = 0;
    // A private object that ends a poller's wait on its event, where the
    // system can wait on two objects at once; 0 where it cannot: close then
    // has only the event itself to end the wait with.
    virtual WakeHandle createWakeUp() = 0;
    virtual void wakeUp(WakeHandle wake) = 0;
    virtual void signalEvent(EventHandle event) = 0;

    // Marks a stem as held by this process, under `name`, where every
    // process of the machine can see it, until released or the process
    // ends however it ends. InUse when someone holds it already, this
    // process included.
    virtual ClaimResult claimStem(const char* name, ClaimHandle& claim) = 0;
    virtual void releaseStemClaim(ClaimHandle claim) = 0;

    // Starts the program at `path` as a child: no arguments, the host's
    // environment and current directory. Zero on failure.
    virtual ProcessHandle startProcess(const char* path) = 0;

    // Stores the slave's exit code in `exitCode` once it has ended; leaves
    // the word as it is while the slave runs.
    virtual void queryExitCode(ProcessHandle process, std::uint32_t& exitCode) = 0;

    // Gives back a process handle that the channel no longer needs. The
    // process itself is not touched.
    virtual void releaseProcess(ProcessHandle process) = 0;

    // Starts a thread that runs body(argument). Zero on failure.
    virtual ThreadHandle createThread(ThreadBody body, void* argument, std::uint32_t& threadId) = 0;

    // Sleeps about one millisecond. A sleeper (0 to kSleeperCount - 1) is
    // one caller's own: where the system needs a timer to sleep that
    // precisely, each sleeper gets its own, made on its first sleep. Only one
    // thread at a time sleeps on a given sleeper.
    virtual void sleepOneMillisecond(int sleeper) = 0;
    // Creates or opens the named auto-reset event on which a resting slave
    // may wait (ZOLT_WAKE_SUFFIX), where the system needs one; 0 where it
    // does not, or on failure: no slave requires it.
    virtual WakeHandle createSlaveWakeUp(const char* name) = 0;
    // Right after the state byte was raised: wakes a slave that waits for
    // it, through the mailbox's first word (ZOLT_WAKE_WORD_OFFSET) or the
    // wake-up event, where the system has a way. Never fails, never blocks.
    virtual void wakeSlave(unsigned char* mailbox, WakeHandle slaveWakeUp) = 0;
    // After the last sleep of a wait: the sleeper lets go of whatever it
    // holds only while sleeping.
    virtual void finishSleeping(int sleeper) = 0;

    // Tells a forked child from the process that opened its channels.
    virtual std::uint32_t processId() = 0;

    // The system's reason for the call that failed last on this thread
    // (errno, GetLastError), and putting it back: a failed open hands it to
    // the host unchanged by the clean-up after it.
    virtual int lastError() = 0;
    virtual void restoreLastError(int error) = 0;

protected:
    ~Os() = default;
};

}  // namespace zolt
