// The operating system the library is built for. Declared once; each
// platform's folder implements it: posix/ with POSIX shared memory, named
// semaphores, pidfds and pthreads; win32/ with named file mappings and
// events, CreateProcess and CreateThread.
#pragma once

#include "os.h"

namespace zolt {

class SystemOs final : public Os {
public:
    SharedMemoryHandle createSharedMemory(const char* name, std::size_t size) override;
    unsigned char* mapSharedMemory(SharedMemoryHandle memory, std::size_t size) override;
    void unmapSharedMemory(unsigned char* view, std::size_t size) override;
    EventHandle createEvent(const char* name) override;
    int waitForEvent(EventHandle event, WakeHandle wake, int milliseconds) override;
    WakeHandle createWakeUp() override;
    void wakeUp(WakeHandle wake) override;
    void signalEvent(EventHandle event) override;
    ClaimResult claimStem(const char* name, ClaimHandle& claim) override;
    void releaseStemClaim(ClaimHandle claim) override;
    ProcessHandle startProcess(const char* path) override;
    void queryExitCode(ProcessHandle process, std::uint32_t& exitCode) override;
    void releaseProcess(ProcessHandle process) override;
    ThreadHandle createThread(ThreadBody body, void* argument, std::uint32_t& threadId) override;
    void sleepOneMillisecond(int sleeper) override;
    void finishSleeping(int sleeper) override;
    WakeHandle createSlaveWakeUp(const char* name) override;
    void wakeSlave(unsigned char* mailbox, WakeHandle slaveWakeUp) override;
    std::uint32_t processId() override;
    int lastError() override;
    void restoreLastError(int error) override;
};

}  // namespace zolt
