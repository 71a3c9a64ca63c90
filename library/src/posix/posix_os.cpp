#include "system_os.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <new>

#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include "named_objects.h"
#include "slave_process.h"

namespace zolt {

SharedMemoryHandle SystemOs::createSharedMemory(const char* name, std::size_t size) {
    const int descriptor = posix::openSharedMemory(name, size);
    return descriptor < 0 ? 0 : static_cast<SharedMemoryHandle>(descriptor) + 1;
}

unsigned char* SystemOs::mapSharedMemory(SharedMemoryHandle memory, std::size_t size) {
    const int descriptor = static_cast<int>(memory - 1);
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    // The mapping keeps the object alive; a long-running host must not
    // collect one descriptor per open.
    ::close(descriptor);
    return view == MAP_FAILED ? nullptr : static_cast<unsigned char*>(view);
}

void SystemOs::unmapSharedMemory(unsigned char* view, std::size_t size) { ::munmap(view, size); }

EventHandle SystemOs::createEvent(const char* name) {
    return reinterpret_cast<EventHandle>(posix::openSemaphore(name));
}

void SystemOs::waitForEvent(EventHandle event) {
    sem_t* semaphore = reinterpret_cast<sem_t*>(event);
    while (::sem_wait(semaphore) != 0 && errno == EINTR) {
    }
    // An auto-reset event keeps no count: posts that piled up are one signal.
    while (::sem_trywait(semaphore) == 0) {
    }
}

void SystemOs::signalEvent(EventHandle event) { ::sem_post(reinterpret_cast<sem_t*>(event)); }

ProcessHandle SystemOs::startProcess(const char* path) { return posix::spawnSlave(path); }

void SystemOs::queryExitCode(ProcessHandle process, std::uint32_t& exitCode) {
    posix::queryExitCode(process, exitCode);
}

void SystemOs::releaseProcess(ProcessHandle process) { posix::releaseProcess(process); }

namespace {

struct ThreadStart {
    ThreadBody body;
    void* argument;
};

void* runThread(void* start) {
    const ThreadStart what = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    what.body(what.argument);
    return nullptr;
}

}  // namespace

ThreadHandle SystemOs::createThread(ThreadBody body, void* argument, std::uint32_t& threadId) {
    static_assert(sizeof(pthread_t) <= sizeof(ThreadHandle));
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return 0;
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);

    // Pollers take none of the host's signals: a handler the host installed
    // for its own threads must not run on ours. The new thread inherits the
    // mask in force at its creation.
    sigset_t allSignals;
    sigset_t hostMask;
    ::sigfillset(&allSignals);
    ::pthread_sigmask(SIG_SETMASK, &allSignals, &hostMask);
    // The start record is handed over to the thread, which frees it.
    auto* start = new (std::nothrow) ThreadStart{body, argument};
    pthread_t thread{};
    const int failed = start == nullptr ? ENOMEM : ::pthread_create(&thread, &attributes, &runThread, start);
    if (failed != 0) delete start;
    ::pthread_sigmask(SIG_SETMASK, &hostMask, nullptr);
    ::pthread_attr_destroy(&attributes);
    // Linux threads have no 32-bit identifier of the kind Windows reports.
    threadId = 0;
    return failed != 0 ? 0 : static_cast<ThreadHandle>(thread);
}

void SystemOs::sleepOneMillisecond() {
    timespec remaining{0, 1'000'000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace zolt
