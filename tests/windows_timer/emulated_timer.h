// Windows' default timer inside a Wine process. Windows ticks every
// 15.625 ms unless a program holds timeBeginPeriod(1), and Sleep and plain
// waitable timers wake only on a tick; a waitable timer made with
// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803 and later) fires on
// time. Wine's timers all fire on time, which hides what a sleep costs on
// Windows: these wrappers bring the tick back for the modules routed
// through them.
#pragma once

#include <windows.h>

namespace zolt_test::emulated_timer {

enum class Windows {
    Current,      // takes CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
    Before1803,   // refuses it with ERROR_INVALID_PARAMETER
};

// Routes the module's imports of Sleep, SleepEx, CreateWaitableTimerExW,
// SetWaitableTimer, SetWaitableTimerEx, CloseHandle, timeBeginPeriod,
// timeEndPeriod, WaitForSingleObject, WaitForMultipleObjects and
// GetProcAddress (which then hands out the wrappers for those names) through
// the emulation. The first call picks the Windows
// version for the whole process. Returns how many imports were routed.
int route(HMODULE module, Windows version = Windows::Current);

// The wrapper that stands for a system function of that name, or null.
FARPROC wrapperOf(const char* function);

// How many timeBeginPeriod(1) calls are in force, through the wrappers.
long periodsHeld();

// How many sleeps and waits with a time limit other than zero the routed
// modules have begun: each ends in a wake-up.
long blockingWaits();

// Makes this process's count readable by blockingWaitsOf from another one.
bool publishCounts();

// The count of the process `processId`, which published it; -1 if it did not.
long blockingWaitsOf(DWORD processId);

// The emulated tick now: 15.625 ms, or 1 ms while a period is held; in
// seconds.
double tickSeconds();

}  // namespace zolt_test::emulated_timer
