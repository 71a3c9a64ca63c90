// CPU time of this process and of a slave, on Linux and Windows.
#pragma once

namespace kit_bench {

int ownProcessId();
// User and system time so far, in seconds.
double ownCpuSeconds();
double cpuSecondsOf(int pid);
// Ends a slave that will never answer, so that its close is quick.
void endProcess(int pid);

}  // namespace kit_bench
