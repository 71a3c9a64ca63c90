// Named shared memory and semaphores, owned by the current user only.
#pragma once

#include <cstddef>

#include <semaphore.h>

namespace zolt::posix {

// Returns an open descriptor of the object "/" + name, created with mode 0600
// or opened as it is, or -1. An existing object of another user is refused;
// one of ours that is too small is grown, so no mapping reaches past its end,
// and one with a looser mode is set to 0600. Either way its first `size`
// bytes have pages reserved: where there is no room, the open fails instead
// of the first write to the mapping.
int openSharedMemory(const char* name, std::size_t size);

// Returns the semaphore "/" + name, created with mode 0600 and value 0 or
// opened as it is (a pending post stays pending), or null. An existing
// semaphore of another user is refused, and so is a file too short to hold
// one; one of ours with a looser mode is set to 0600.
sem_t* openSemaphore(const char* name);

}  // namespace zolt::posix
