#include "system_os.h"

#include <windows.h>

#include "kept_handles.h"
#include "zolt_precise_sleep.h"
#include "thread_start.h"

namespace zolt {

namespace {

using win32::keptHandles;

template <typename Handle>
Handle toHandle(std::intptr_t value) {
    return reinterpret_cast<Handle>(value);
}

std::intptr_t fromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// One per channel: a channel's sleeps are serialised by its exchange lock,
// while two channels may sleep at the same moment. Each timer is made on the
// first sleep, never while the loader runs DllMain, and kept for the life of
// the process.
ZoltPreciseSleep sleepers[kSleeperCount] = {};

DWORD WINAPI runThread(LPVOID start) {
    runThreadStart(start);
    return 0;
}

}  // namespace

SharedMemoryHandle SystemOs::createSharedMemory(const char* name, std::size_t size) {
    return fromHandle(keptHandles.findOrCreate(name, [&] {
        return ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size), name);
    }));
}

unsigned char* SystemOs::mapSharedMemory(SharedMemoryHandle memory, std::size_t /*size*/) {
    // The whole object, whatever size an existing one has.
    return static_cast<unsigned char*>(::MapViewOfFile(toHandle<HANDLE>(memory), FILE_MAP_ALL_ACCESS, 0, 0, 0));
}

void SystemOs::unmapSharedMemory(unsigned char* view, std::size_t /*size*/) { ::UnmapViewOfFile(view); }

EventHandle SystemOs::createEvent(const char* name) {
    return fromHandle(keptHandles.findOrCreate(name, [&] { return ::CreateEventA(nullptr, FALSE, FALSE, name); }));
}

int SystemOs::waitForEvent(EventHandle event, WakeHandle wake, int milliseconds) {
    // An auto-reset event holds at most one signal, and the wait takes it.
    // The event comes first: when both are set, the slave's signal is taken.
    const HANDLE objects[] = {toHandle<HANDLE>(event), toHandle<HANDLE>(wake)};
    const DWORD count = wake != 0 ? 2 : 1;
    const DWORD limit = milliseconds == kNoTimeLimit ? INFINITE : static_cast<DWORD>(milliseconds);
    switch (::WaitForMultipleObjects(count, objects, FALSE, limit)) {
    case WAIT_OBJECT_0:
        return 1;
    case WAIT_OBJECT_0 + 1:
    case WAIT_TIMEOUT:
        return 0;
    default:
        return -1;
    }
}

// Unnamed, so no other process can reach it: nobody but close takes or
// gives its signal.
WakeHandle SystemOs::createWakeUp() { return fromHandle(::CreateEventA(nullptr, FALSE, FALSE, nullptr)); }

void SystemOs::wakeUp(WakeHandle wake) { ::SetEvent(toHandle<HANDLE>(wake)); }

void SystemOs::signalEvent(EventHandle event) { ::SetEvent(toHandle<HANDLE>(event)); }

ClaimResult SystemOs::claimStem(const char* name, ClaimHandle& claim) {
    // A mutex nobody ever takes: only its name counts. It goes with the last
    // handle to it, so with this process, and slaves do not inherit it.
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) return ClaimResult::Failed;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return ClaimResult::InUse;
    }
    claim = fromHandle(mutex);
    return ClaimResult::Claimed;
}

void SystemOs::releaseStemClaim(ClaimHandle claim) { ::CloseHandle(toHandle<HANDLE>(claim)); }

ProcessHandle SystemOs::startProcess(const char* path) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(path, nullptr, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                          &started)) {
        return 0;
    }
    // Only the process is ever asked about.
    ::CloseHandle(started.hThread);
    return fromHandle(started.hProcess);
}

void SystemOs::queryExitCode(ProcessHandle process, std::uint32_t& exitCode) {
    DWORD code = exitCode;
    ::GetExitCodeProcess(toHandle<HANDLE>(process), &code);
    exitCode = code;
}

void SystemOs::releaseProcess(ProcessHandle process) { ::CloseHandle(toHandle<HANDLE>(process)); }

ThreadHandle SystemOs::createThread(ThreadBody body, void* argument, std::uint32_t& threadId) {
    ThreadStart* start = newThreadStart(body, argument);
    if (start == nullptr) return 0;
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, &runThread, start, 0, &id);
    if (thread == nullptr) {
        delete start;
        return 0;
    }
    threadId = id;
    return fromHandle(thread);
}

// Sleep(1) would last until the next system tick, 15.625 ms by default.
void SystemOs::sleepOneMillisecond(int sleeper) { zolt_precise_sleep(&sleepers[sleeper], 1000); }

void SystemOs::finishSleeping(int sleeper) { zolt_precise_sleep_rest(&sleepers[sleeper]); }

// Windows has no wait on an address shared between processes: a named event
// stands in, made like the channel's own event and kept as it is.
WakeHandle SystemOs::createSlaveWakeUp(const char* name) {
    return fromHandle(keptHandles.findOrCreate(name, [&] { return ::CreateEventA(nullptr, FALSE, FALSE, name); }));
}

void SystemOs::wakeSlave(unsigned char* /*mailbox*/, WakeHandle slaveWakeUp) {
    if (slaveWakeUp != 0) ::SetEvent(toHandle<HANDLE>(slaveWakeUp));
}

std::uint32_t SystemOs::processId() { return ::GetCurrentProcessId(); }

int SystemOs::lastError() { return static_cast<int>(::GetLastError()); }

void SystemOs::restoreLastError(int error) { ::SetLastError(static_cast<DWORD>(error)); }

}  // namespace zolt
