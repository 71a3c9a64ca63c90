/*
 * zolt_precise_sleep.h: sleeps of a millisecond or less on Windows that last
 * about as long as asked, for the library and the slave kit alike. C11 and
 * C++. Empty elsewhere.
 *
 * Sleep(1) lasts until the system's next timer tick, and Windows ticks every
 * 15.625 ms unless some program asked for more. A waitable timer made with
 * CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 version 1803 and later)
 * fires on time whatever the tick. Where Windows refuses that flag, the
 * sleeper holds timeBeginPeriod(1) from its first sleep until
 * zolt_precise_sleep_rest and sleeps with Sleep(1), which then lasts one to
 * two milliseconds, whatever was asked; without winmm.dll it is plain
 * Sleep(1). Nothing here spins.
 *
 * A sleeper is not thread-safe: give each thread that may sleep at the same
 * moment as another one of its own. Start from a zeroed ZoltPreciseSleep;
 * the timer is made on the first sleep.
 */
#ifndef ZOLT_PRECISE_SLEEP_H
#define ZOLT_PRECISE_SLEEP_H

#if defined(_WIN32)

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Older headers lack it. */
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#  define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

typedef UINT(WINAPI *ZoltTimePeriodFunction)(UINT period);

typedef struct ZoltPreciseSleep {
    HANDLE timer; /* the high-resolution timer, once made */
    int refused;  /* Windows refused the timer: Sleep(1) from now on */
    int period_held;
    int period_looked_up; /* winmm.dll was looked for, found or not */
    ZoltTimePeriodFunction begin_period;
    ZoltTimePeriodFunction end_period;
} ZoltPreciseSleep;

/* timeBeginPeriod(1), looked up in winmm.dll from the system folder only, so
 * that no program needs to link it. Looked up once: a sleeper without winmm
 * must not load libraries on every sleep. */
static inline void zolt_precise_sleep_hold_period(ZoltPreciseSleep *sleeper) {
    if (!sleeper->period_looked_up) {
        /* The module stays loaded: a later sleep needs it again. */
        HMODULE winmm = LoadLibraryExW(L"winmm.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
        sleeper->period_looked_up = 1;
        if (winmm != NULL) {
            sleeper->begin_period =
                (ZoltTimePeriodFunction)(void (*)(void))GetProcAddress(winmm, "timeBeginPeriod");
            sleeper->end_period = (ZoltTimePeriodFunction)(void (*)(void))GetProcAddress(winmm, "timeEndPeriod");
        }
    }
    if (sleeper->begin_period == NULL || sleeper->end_period == NULL) return;
    sleeper->period_held = sleeper->begin_period(1) == 0 /* TIMERR_NOERROR */;
}

/* Sleeps about `microseconds`, at most a millisecond. */
static inline void zolt_precise_sleep(ZoltPreciseSleep *sleeper, unsigned int microseconds) {
    if (sleeper->timer == NULL && !sleeper->refused) {
        sleeper->timer = CreateWaitableTimerExW(NULL, NULL, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                                SYNCHRONIZE | TIMER_MODIFY_STATE);
        sleeper->refused = sleeper->timer == NULL;
    }
    if (sleeper->timer != NULL) {
        LARGE_INTEGER due;
        due.QuadPart = -10 * (LONGLONG)microseconds; /* from now, in 100 ns units */
        /* The time limit only guards against a timer that never fires. */
        if (SetWaitableTimer(sleeper->timer, &due, 0, NULL, NULL, FALSE) &&
            WaitForSingleObject(sleeper->timer, 1000) == WAIT_OBJECT_0)
            return;
    }
    if (!sleeper->period_held) zolt_precise_sleep_hold_period(sleeper);
    Sleep(1);
}

/* Lets go of the finer tick that a refused timer made the sleeper hold: call
 * it when no sleep follows for a while. The timer itself is kept. */
static inline void zolt_precise_sleep_rest(ZoltPreciseSleep *sleeper) {
    if (!sleeper->period_held) return;
    sleeper->end_period(1);
    sleeper->period_held = 0;
}

/* Rests and closes the timer; the sleeper may sleep again afterwards. */
static inline void zolt_precise_sleep_close(ZoltPreciseSleep *sleeper) {
    zolt_precise_sleep_rest(sleeper);
    if (sleeper->timer != NULL) CloseHandle(sleeper->timer);
    sleeper->timer = NULL;
    sleeper->refused = 0;
}

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

#endif /* ZOLT_PRECISE_SLEEP_H */
