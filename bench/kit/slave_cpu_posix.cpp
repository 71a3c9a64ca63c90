#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "slave_cpu.h"

namespace kit_bench {

int ownProcessId() { return static_cast<int>(::getpid()); }

double ownCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The scheduler's count in nanoseconds: /proc/PID/stat counts whole ticks.
double cpuSecondsOf(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/schedstat");
    double nanoseconds = 0;
    stat >> nanoseconds;
    return nanoseconds * 1e-9;
}

void endProcess(int pid) { ::kill(pid, SIGKILL); }

}  // namespace kit_bench
