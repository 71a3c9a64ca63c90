// The Linux side of Os: POSIX shared memory and named semaphores, pidfds for
// slave processes, pthreads for pollers.
#pragma once

#include "os.h"

namespace zolt {

class PosixOs final : public Os {
public:
    SharedMemoryHandle createSharedMemory(const char* name, std::size_t size) override;
    unsigned char* mapSharedMemory(SharedMemoryHandle memory, std::size_t size) override;
    void unmapSharedMemory(unsigned char* view, std::size_t size) override;
    EventHandle createEvent(const char* name) override;
    void waitForEvent(EventHandle event) override;
    void signalEvent(EventHandle event) override;
    ProcessHandle startProcess(const char* path) override;
    void queryExitCode(ProcessHandle process, std::uint32_t& exitCode) override;
    void releaseProcess(ProcessHandle process) override;
    ThreadHandle createThread(ThreadBody body, void* argument, std::uint32_t& threadId) override;
    void sleepOneMillisecond() override;
};

}  // namespace zolt
