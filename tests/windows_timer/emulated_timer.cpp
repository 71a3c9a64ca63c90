#include "emulated_timer.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "import_table.h"

namespace zolt_test::emulated_timer {

namespace {

constexpr DWORD kHighResolution = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr UINT kNoError = 0;                    // TIMERR_NOERROR
constexpr UINT kCannotDo = 97;                  // TIMERR_NOCANDO
constexpr double kDefaultTick = 0.015625;
constexpr double kFineTick = 0.001;
constexpr std::int64_t kHundredNanosecondsPerSecond = 10'000'000;

// The system's own functions, found before any module is routed: a module
// routed through the wrappers may be the one that holds them.
struct Real {
    decltype(&::Sleep) sleep;
    decltype(&::SleepEx) sleepEx;
    decltype(&::CreateWaitableTimerExW) createWaitableTimerExW;
    decltype(&::SetWaitableTimer) setWaitableTimer;
    decltype(&::SetWaitableTimerEx) setWaitableTimerEx;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::GetProcAddress) getProcAddress;
    decltype(&::WaitForSingleObject) waitForSingleObject;
    decltype(&::WaitForMultipleObjects) waitForMultipleObjects;
};
Real real{};

template <typename Function>
void find(HMODULE kernel32, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

void findReal() {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    find(kernel32, "Sleep", real.sleep);
    find(kernel32, "SleepEx", real.sleepEx);
    find(kernel32, "CreateWaitableTimerExW", real.createWaitableTimerExW);
    find(kernel32, "SetWaitableTimer", real.setWaitableTimer);
    find(kernel32, "SetWaitableTimerEx", real.setWaitableTimerEx);
    find(kernel32, "CloseHandle", real.closeHandle);
    find(kernel32, "GetProcAddress", real.getProcAddress);
    find(kernel32, "WaitForSingleObject", real.waitForSingleObject);
    find(kernel32, "WaitForMultipleObjects", real.waitForMultipleObjects);
}

Windows version = Windows::Current;
bool versionChosen = false;
volatile LONG periods = 0;

// Where the count of blocking waits lives: in the process itself, or once
// published, in a mapping another process can read by this one's id.
struct Counts {
    volatile LONG blockingWaits;
};
Counts ownCounts{};
Counts* counts = &ownCounts;

// A wait that may block is a wake-up when it ends; one with no time at all
// only looks.
void countWait(DWORD milliseconds) {
    if (milliseconds != 0) ::InterlockedIncrement(&counts->blockingWaits);
}

std::string countsName(DWORD processId) { return "zolt-test-timer-counts-" + std::to_string(processId); }

// High-resolution timers made through the wrappers. The library makes one
// per channel and the kit one per slave: a small table will do.
SRWLOCK timersLock = SRWLOCK_INIT;
HANDLE highResolutionTimers[64] = {};

std::int64_t counterFrequency() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return frequency;
}

std::int64_t counterNow() {
    LARGE_INTEGER value;
    ::QueryPerformanceCounter(&value);
    return value.QuadPart;
}

// The first tick at or after `moment`, on the counter's scale: ticks fall on
// whole multiples of the tick length since the counter's zero.
std::int64_t tickAtOrAfter(std::int64_t moment) {
    const auto tick = static_cast<std::int64_t>(tickSeconds() * static_cast<double>(counterFrequency()));
    return (moment + tick - 1) / tick * tick;
}

bool isHighResolution(HANDLE timer) {
    ::AcquireSRWLockShared(&timersLock);
    bool found = false;
    for (HANDLE known : highResolutionTimers) found = found || (known != nullptr && known == timer);
    ::ReleaseSRWLockShared(&timersLock);
    return found;
}

void remember(HANDLE timer) {
    ::AcquireSRWLockExclusive(&timersLock);
    for (HANDLE& slot : highResolutionTimers) {
        if (slot == nullptr) {
            slot = timer;
            break;
        }
    }
    ::ReleaseSRWLockExclusive(&timersLock);
}

void forget(HANDLE handle) {
    ::AcquireSRWLockExclusive(&timersLock);
    for (HANDLE& slot : highResolutionTimers)
        if (slot == handle) slot = nullptr;
    ::ReleaseSRWLockExclusive(&timersLock);
}

// Wine's own Sleep, which lasts about as long as asked, up to the deadline.
void sleepUntil(std::int64_t deadline) {
    for (std::int64_t now = counterNow(); now < deadline; now = counterNow()) {
        const std::int64_t milliseconds = (deadline - now) * 1000 / counterFrequency();
        real.sleep(milliseconds > 1 ? static_cast<DWORD>(milliseconds) : 1);
    }
}

void WINAPI emulatedSleep(DWORD milliseconds) {
    countWait(milliseconds);
    // Sleep(0) gives up the rest of the time slice, and INFINITE never ends:
    // no tick changes either.
    if (milliseconds == 0 || milliseconds == INFINITE) return real.sleep(milliseconds);
    const std::int64_t due = counterNow() + static_cast<std::int64_t>(milliseconds) * counterFrequency() / 1000;
    sleepUntil(tickAtOrAfter(due));
}

DWORD WINAPI emulatedSleepEx(DWORD milliseconds, BOOL alertable) {
    if (milliseconds == 0 || milliseconds == INFINITE || alertable) {
        countWait(milliseconds);
        return real.sleepEx(milliseconds, alertable);
    }
    emulatedSleep(milliseconds);
    return 0;
}

DWORD WINAPI emulatedWaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    countWait(milliseconds);
    return real.waitForSingleObject(handle, milliseconds);
}

DWORD WINAPI emulatedWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL all, DWORD milliseconds) {
    countWait(milliseconds);
    return real.waitForMultipleObjects(count, handles, all, milliseconds);
}

HANDLE WINAPI emulatedCreateWaitableTimerExW(LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags, DWORD access) {
    const bool highResolution = (flags & kHighResolution) != 0;
    if (highResolution && version == Windows::Before1803) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Wine takes the flag, and its timers are all about as precise; should
    // it refuse, a plain one will do.
    HANDLE timer = real.createWaitableTimerExW(attributes, name, flags, access);
    if (timer == nullptr && highResolution)
        timer = real.createWaitableTimerExW(attributes, name, flags & ~kHighResolution, access);
    if (timer != nullptr && highResolution) remember(timer);
    return timer;
}

// A relative due time on a plain timer comes due on the tick after it.
LARGE_INTEGER onTick(HANDLE timer, const LARGE_INTEGER* due) {
    LARGE_INTEGER adjusted = *due;
    if (due->QuadPart >= 0 || isHighResolution(timer)) return adjusted;
    const std::int64_t now = counterNow();
    const std::int64_t asked = -due->QuadPart * counterFrequency() / kHundredNanosecondsPerSecond;
    const std::int64_t wait = tickAtOrAfter(now + asked) - now;
    adjusted.QuadPart = -(wait * kHundredNanosecondsPerSecond / counterFrequency());
    return adjusted;
}

BOOL WINAPI emulatedSetWaitableTimer(HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE routine,
                             LPVOID argument, BOOL resume) {
    if (due == nullptr) return real.setWaitableTimer(timer, due, period, routine, argument, resume);
    const LARGE_INTEGER adjusted = onTick(timer, due);
    return real.setWaitableTimer(timer, &adjusted, period, routine, argument, resume);
}

BOOL WINAPI emulatedSetWaitableTimerEx(HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE routine,
                               LPVOID argument, PREASON_CONTEXT reason, ULONG tolerable) {
    if (due == nullptr) return real.setWaitableTimerEx(timer, due, period, routine, argument, reason, tolerable);
    const LARGE_INTEGER adjusted = onTick(timer, due);
    return real.setWaitableTimerEx(timer, &adjusted, period, routine, argument, reason, tolerable);
}

BOOL WINAPI emulatedCloseHandle(HANDLE handle) {
    // A later object may get the same handle value.
    forget(handle);
    return real.closeHandle(handle);
}

UINT WINAPI emulatedTimeBeginPeriod(UINT period) {
    if (period == 0) return kCannotDo;
    ::InterlockedIncrement(&periods);
    return kNoError;
}

UINT WINAPI emulatedTimeEndPeriod(UINT period) {
    if (period == 0) return kCannotDo;
    if (::InterlockedDecrement(&periods) < 0) {
        ::InterlockedIncrement(&periods);
        return kCannotDo;
    }
    return kNoError;
}

FARPROC WINAPI emulatedGetProcAddress(HMODULE module, LPCSTR name);

template <typename Function>
void* address(Function function) {
    return reinterpret_cast<void*>(function);
}

const ImportReplacement kWrappers[] = {
    {"Sleep", address(&emulatedSleep)},
    {"SleepEx", address(&emulatedSleepEx)},
    {"CreateWaitableTimerExW", address(&emulatedCreateWaitableTimerExW)},
    {"SetWaitableTimer", address(&emulatedSetWaitableTimer)},
    {"SetWaitableTimerEx", address(&emulatedSetWaitableTimerEx)},
    {"CloseHandle", address(&emulatedCloseHandle)},
    {"timeBeginPeriod", address(&emulatedTimeBeginPeriod)},
    {"timeEndPeriod", address(&emulatedTimeEndPeriod)},
    {"GetProcAddress", address(&emulatedGetProcAddress)},
    {"WaitForSingleObject", address(&emulatedWaitForSingleObject)},
    {"WaitForMultipleObjects", address(&emulatedWaitForMultipleObjects)},
};
constexpr int kWrapperCount = sizeof kWrappers / sizeof kWrappers[0];

FARPROC WINAPI emulatedGetProcAddress(HMODULE module, LPCSTR name) {
    // A name below 0x10000 is an ordinal.
    if (reinterpret_cast<std::uintptr_t>(name) > 0xFFFF) {
        if (FARPROC wrapper = wrapperOf(name)) return wrapper;
    }
    return real.getProcAddress(module, name);
}

}  // namespace

FARPROC wrapperOf(const char* function) {
    for (const ImportReplacement& wrapper : kWrappers)
        if (std::strcmp(function, wrapper.function) == 0) return reinterpret_cast<FARPROC>(wrapper.replacement);
    return nullptr;
}

int route(HMODULE module, Windows chosen) {
    if (!versionChosen) {
        version = chosen;
        versionChosen = true;
        findReal();
    }
    return replaceImports(module, kWrappers, kWrapperCount);
}

long periodsHeld() { return periods; }

long blockingWaits() { return counts->blockingWaits; }

bool publishCounts() {
    const std::string name = countsName(::GetCurrentProcessId());
    HANDLE mapping =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Counts), name.c_str());
    if (mapping == nullptr) return false;
    // Kept open for the life of the process, so the name stays.
    void* view = ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Counts));
    if (view == nullptr) return false;
    auto* shared = static_cast<Counts*>(view);
    shared->blockingWaits = counts->blockingWaits;
    counts = shared;
    return true;
}

long blockingWaitsOf(DWORD processId) {
    const std::string name = countsName(processId);
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr) return -1;
    const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(Counts));
    long waits = -1;
    if (view != nullptr) {
        waits = static_cast<const Counts*>(view)->blockingWaits;
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    return waits;
}

double tickSeconds() { return periods > 0 ? kFineTick : kDefaultTick; }

}  // namespace zolt_test::emulated_timer
