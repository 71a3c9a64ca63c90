#include <windows.h>

#include <cstdint>

#include "slave_cpu.h"

namespace kit_bench {

namespace {

double seconds(const FILETIME& time) {
    return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 1e-7;
}

double cpuSecondsOfProcess(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!::GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
    return seconds(kernel) + seconds(user);
}

}  // namespace

int ownProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

double ownCpuSeconds() { return cpuSecondsOfProcess(::GetCurrentProcess()); }

double cpuSecondsOf(int pid) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return 0;
    const double cpu = cpuSecondsOfProcess(process);
    ::CloseHandle(process);
    return cpu;
}

void endProcess(int pid) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return;
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
}

}  // namespace kit_bench
