#include "library_threads.h"

#include <atomic>
#include <cerrno>
#include <pthread.h>

#include "thread_start.h"

namespace zolt::posix {

namespace {

// Faults raised by the code a thread runs, a host callback included. Blocked,
// the kernel would kill the host instead of running the host's handler.
constexpr int kSynchronousSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

// The library's threads, so a call can tell whether it runs on one. A table
// rather than a thread_local: dynamic TLS in a library loaded with dlopen
// trips up LeakSanitizer's scan of the host's threads.
constexpr int kThreadCapacity = 16;
std::atomic<pthread_t> libraryThreads[kThreadCapacity];
std::atomic<int> libraryThreadCount{0};

bool onLibraryThread() {
    const pthread_t self = ::pthread_self();
    const int count = libraryThreadCount.load();
    for (int i = 0; i < count && i < kThreadCapacity; ++i) {
        if (::pthread_equal(libraryThreads[i].load(), self)) return true;
    }
    return false;
}

// The mask of the host thread that started the library's threads.
sigset_t hostMask;

void* runThread(void* start) {
    // Threads beyond the table's room are taken for host threads: their
    // children inherit the library's mask, the one cost of running out.
    const int slot = libraryThreadCount.fetch_add(1);
    if (slot < kThreadCapacity) libraryThreads[slot].store(::pthread_self());
    runThreadStart(start);
    return nullptr;
}

}  // namespace

ThreadHandle startLibraryThread(ThreadBody body, void* argument) {
    static_assert(sizeof(pthread_t) <= sizeof(ThreadHandle));
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return 0;
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);

    // The new thread inherits the mask in force at its creation: every
    // asynchronous signal goes to the host's threads instead.
    sigset_t libraryMask;
    ::sigfillset(&libraryMask);
    for (const int fault : kSynchronousSignals) ::sigdelset(&libraryMask, fault);
    sigset_t callerMask;
    ::pthread_sigmask(SIG_SETMASK, &libraryMask, &callerMask);
    if (!onLibraryThread()) hostMask = callerMask;
    // The start record is handed over to the thread, which frees it.
    ThreadStart* start = newThreadStart(body, argument);
    pthread_t thread{};
    const int failed = start == nullptr ? ENOMEM : ::pthread_create(&thread, &attributes, &runThread, start);
    if (failed != 0) delete start;
    ::pthread_sigmask(SIG_SETMASK, &callerMask, nullptr);
    ::pthread_attr_destroy(&attributes);
    return failed != 0 ? 0 : static_cast<ThreadHandle>(thread);
}

const sigset_t* signalMaskForChild() { return onLibraryThread() ? &hostMask : nullptr; }

}  // namespace zolt::posix
