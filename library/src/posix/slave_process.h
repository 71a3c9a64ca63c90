// Slave processes, held by pidfd so that a reused pid can never be taken for
// our slave. Old kernels without pidfds fall back to the plain pid.
#pragma once

#include <cstdint>

#include "os.h"

namespace zolt::posix {

// Positive handles are pidfd + 1, negative ones -pid (the fallback).
ProcessHandle spawnSlave(const char* path);

// Stores the exit code once the slave has ended, and reaps it then, so no
// zombie stays behind.
void queryExitCode(ProcessHandle process, std::uint32_t& exitCode);

// Closes the handle once the slave has ended; a slave that still runs is kept
// in a small list and reaped by a later call.
void releaseProcess(ProcessHandle process);

}  // namespace zolt::posix
