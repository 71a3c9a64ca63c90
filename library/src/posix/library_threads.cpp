#include "library_threads.h"

#include <cerrno>
#include <new>

#include <pthread.h>

namespace zolt::posix {

namespace {

// Faults raised by the code a thread runs, a host callback included. Blocked,
// the kernel would kill the host instead of running the host's handler.
constexpr int kSynchronousSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

thread_local bool onLibraryThread = false;
// The mask of the host thread that started the library's threads.
sigset_t hostMask;

struct ThreadStart {
    ThreadBody body;
    void* argument;
};

void* runThread(void* start) {
    const ThreadStart what = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    onLibraryThread = true;
    what.body(what.argument);
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
    if (!onLibraryThread) hostMask = callerMask;
    // The start record is handed over to the thread, which frees it.
    auto* start = new (std::nothrow) ThreadStart{body, argument};
    pthread_t thread{};
    const int failed = start == nullptr ? ENOMEM : ::pthread_create(&thread, &attributes, &runThread, start);
    if (failed != 0) delete start;
    ::pthread_sigmask(SIG_SETMASK, &callerMask, nullptr);
    ::pthread_attr_destroy(&attributes);
    return failed != 0 ? 0 : static_cast<ThreadHandle>(thread);
}

const sigset_t* signalMaskForChild() { return onLibraryThread ? &hostMask : nullptr; }

}  // namespace zolt::posix
