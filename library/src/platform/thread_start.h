// How a library thread starts, on every platform: the body and its argument
// travel to the new thread in a record that the thread takes over and frees
// first thing. For the OS layers only.
#pragma once

#include <new>

#include "os.h"

namespace zolt {

struct ThreadStart {
    ThreadBody body;
    void* argument;
};

// Null when out of memory: the thread is then not created.
inline ThreadStart* newThreadStart(ThreadBody body, void* argument) {
    return new (std::nothrow) ThreadStart{body, argument};
}

// On the new thread: frees the record and runs the body.
inline void runThreadStart(void* start) {
    const ThreadStart what = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    what.body(what.argument);
}

}  // namespace zolt
