#include "system_os.h"

#include <windows.h>

#include <new>

#include "kept_handles.h"
#include "zolt_precise_sleep.h"

namespace zolt {

namespace {

using win32::keptHandles;

template <typename Handle>
Handle toHandle(std::intptr_t value) {
    return reinterpret_cast<Handle>(value);
}

std::intptr_t fromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

struct ThreadStart {
    ThreadBody body;
    void* argument;
};

// One per channel: a channel's sleeps are serialised by its exchange lock,
// while two channels may sleep at the same moment. Each timer is made on the
// first sleep, never while the loader runs DllMain, and kept for the life of
// the process.
ZoltPreciseSleep sleepers[kSleeperCount] = {};

DWORD WINAPI runThread(LPVOID start) {
    const ThreadStart what = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    what.body(what.argument);
    return 0;
}

}  // namespace

SharedMemoryHandle SystemOs::createSharedMemory(const char* name, std::size_t size) {
    HANDLE kept = nullptr;
    if (keptHandles.find(name, kept)) return fromHandle(kept);
    HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          static_cast<DWORD>(size), name);
    if (mapping == nullptr) return 0;
    keptHandles.insert(name, mapping);
    return fromHandle(mapping);
}

unsigned char* SystemOs::mapSharedMemory(SharedMemoryHandle memory, std::size_t /*size*/) {
    // The whole object, whatever size an existing one has.
    return static_cast<unsigned char*>(::MapViewOfFile(toHandle<HANDLE>(memory), FILE_MAP_ALL_ACCESS, 0, 0, 0));
}

void SystemOs::unmapSharedMemory(unsigned char* view, std::size_t /*size*/) { ::UnmapViewOfFile(view); }

EventHandle SystemOs::createEvent(const char* name) {
    HANDLE kept = nullptr;
    if (keptHandles.find(name, kept)) return fromHandle(kept);
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, name);
    if (event == nullptr) return 0;
    keptHandles.insert(name, event);
    return fromHandle(event);
}

int SystemOs::waitForEvent(EventHandle event) {
    // An auto-reset event holds at most one signal, and the wait takes it.
    return ::WaitForSingleObject(toHandle<HANDLE>(event), INFINITE) == WAIT_OBJECT_0 ? 1 : 0;
}

void SystemOs::signalEvent(EventHandle event) { ::SetEvent(toHandle<HANDLE>(event)); }

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
    auto* start = new (std::nothrow) ThreadStart{body, argument};
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

// Windows has no wait on an address shared between processes.
void SystemOs::wakeSlave(unsigned char* /*mailbox*/) {}

}  // namespace zolt
