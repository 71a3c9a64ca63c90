// The library's own threads, kept invisible to the host: they take none of
// the host's asynchronous signals, leave synchronous faults to the host's
// handlers, and what they start inherits the host's signal mask, not theirs.
#pragma once

#include <signal.h>

#include "os.h"

namespace zolt::posix {

// Starts a detached thread that runs body(argument); 0 on failure.
ThreadHandle startLibraryThread(ThreadBody body, void* argument);

// The signal mask a child started on the calling thread should get: null on
// a host thread (the child inherits that thread's mask, as a child the host
// starts itself would), the host's mask on a library thread.
const sigset_t* signalMaskForChild();

}  // namespace zolt::posix
