// The library and the kit under Windows' default timer: Wine's Sleep(1)
// lasts about a millisecond, Windows' a whole 15.625 ms tick. Each test runs
// in a process of its own, whose library is routed through the emulation.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "channel_fixture.h"
#include "emulated_timer.h"
#include "notification_recorder.h"
#include "zolt_slave.h"

namespace zolt_test {
namespace {

namespace timer = emulated_timer;

double secondsNow() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double processCpuSeconds() {
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The emulation itself, called through its wrappers as a routed module would.
TEST(EmulatedWindowsTimer, SleepsAndPlainTimersWaitForTheTickUnlessAsked) {
    timer::route(nullptr);
    const auto sleep = reinterpret_cast<decltype(&::Sleep)>(reinterpret_cast<void*>(timer::wrapperOf("Sleep")));
    const auto beginPeriod =
        reinterpret_cast<UINT(WINAPI*)(UINT)>(reinterpret_cast<void*>(timer::wrapperOf("timeBeginPeriod")));
    const auto endPeriod =
        reinterpret_cast<UINT(WINAPI*)(UINT)>(reinterpret_cast<void*>(timer::wrapperOf("timeEndPeriod")));
    const auto createTimer = reinterpret_cast<decltype(&::CreateWaitableTimerExW)>(
        reinterpret_cast<void*>(timer::wrapperOf("CreateWaitableTimerExW")));
    const auto setTimer = reinterpret_cast<decltype(&::SetWaitableTimer)>(
        reinterpret_cast<void*>(timer::wrapperOf("SetWaitableTimer")));
    ASSERT_TRUE(sleep && beginPeriod && endPeriod && createTimer && setTimer);

    const auto medianOf = [](auto&& wait) {
        std::vector<double> took;
        for (int i = 0; i < 7; ++i) {
            const double start = secondsNow();
            wait();
            took.push_back(secondsNow() - start);
        }
        return median(took);
    };
    const auto oneMillisecondOn = [&](HANDLE handle) {
        return [=] {
            LARGE_INTEGER due;
            due.QuadPart = -10000;
            setTimer(handle, &due, 0, nullptr, nullptr, FALSE);
            ::WaitForSingleObject(handle, INFINITE);
        };
    };
    HANDLE plain = createTimer(nullptr, nullptr, 0, SYNCHRONIZE | TIMER_MODIFY_STATE);
    HANDLE precise = createTimer(nullptr, nullptr, 0x2, SYNCHRONIZE | TIMER_MODIFY_STATE);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(precise, nullptr);

    EXPECT_GE(medianOf([&] { sleep(1); }), 0.010);
    EXPECT_GE(medianOf(oneMillisecondOn(plain)), 0.010);
    EXPECT_LT(medianOf(oneMillisecondOn(precise)), 0.005);
    ASSERT_EQ(beginPeriod(1), 0u);
    EXPECT_EQ(timer::periodsHeld(), 1);
    EXPECT_LT(medianOf([&] { sleep(1); }), 0.005);
    EXPECT_LT(medianOf(oneMillisecondOn(plain)), 0.005);
    ASSERT_EQ(endPeriod(1), 0u);
    EXPECT_EQ(timer::periodsHeld(), 0);
    EXPECT_NE(endPeriod(1), 0u);  // nothing left to end
    ::CloseHandle(plain);
    ::CloseHandle(precise);
}

class WindowsTimer : public ChannelTest {
protected:
    // The library as a host has it, before any channel sleeps.
    void routeLibrary(timer::Windows version) {
        ASSERT_GT(timer::route(::GetModuleHandleA(kLibraryFile), version), 0);
    }

    struct Exchanges {
        double medianSeconds;
        double wallSeconds;
        double cpuSeconds;
    };
    // Exchanges that the slave answers at once, after a first one that
    // finds it started.
    Exchanges exchange(int channel, int count) {
        EXPECT_EQ(write(channel, "echo>ready"), ZOLT_OK);
        std::vector<double> took;
        const double cpuBefore = processCpuSeconds();
        const double started = secondsNow();
        for (int i = 0; i < count; ++i) {
            const double before = secondsNow();
            EXPECT_EQ(write(channel, "echo>" + std::to_string(i)), ZOLT_OK);
            took.push_back(secondsNow() - before);
        }
        const double wall = secondsNow() - started;
        return {median(took), wall, processCpuSeconds() - cpuBefore};
    }

    std::string openSlaveFrom(int channel, const std::string& program) {
        const std::string path = slaves.newSlaveFrom(program);
        EXPECT_EQ(api.open(static_cast<std::int8_t>(channel), path.c_str()), ZOLT_OK);
        return path;
    }

    void TearDown() override {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) api.close(static_cast<std::int8_t>(channel));
    }
};

// A slave that sleeps on Wine's own timers, and one routed through the
// emulation as the library is: either way about one sleep per exchange,
// and sleeping, not spinning. On the tick every exchange would take at
// least 10 ms; the bounds leave room for a loaded machine, and
// docs/performance.md has the figures.
TEST_F(WindowsTimer, AnExchangeTakesAboutOneMillisecondAndLittleCpu) {
    routeLibrary(timer::Windows::Current);
    openSlaveFrom(0, "TestSlave");
    openSlaveFrom(1, "TickingTestSlave");
    for (int channel : {0, 1}) {
        const Exchanges run = exchange(channel, 150);
        EXPECT_LE(run.medianSeconds, 0.0025) << "channel " << channel;
        EXPECT_LT(run.cpuSeconds, run.wallSeconds / 3) << "channel " << channel;
    }
}

TEST_F(WindowsTimer, ASilentSlavesWriteTimesOutAfterFourThousandShortSleeps) {
    routeLibrary(timer::Windows::Current);
    openSlaveFrom(0, "TickingTestSlave");
    ASSERT_EQ(write(0, "pid"), ZOLT_OK);
    const auto slaveId = static_cast<DWORD>(std::stoul(reply(0)));
    const double cpuBefore = processCpuSeconds();
    const double started = secondsNow();
    EXPECT_EQ(write(0, "mute"), ZOLT_WRITE_REPLY_TIMEOUT);
    const double took = secondsNow() - started;
    // 4000 ticks would be 62.5 s. Under a loaded Wine every sleep waits for
    // the wineserver too, hence the room above.
    EXPECT_GE(took, 3.6);
    EXPECT_LE(took, 20.0);
    EXPECT_LT(processCpuSeconds() - cpuBefore, took / 3);
    // The slave never answers: ending it spares the close a wait of its own.
    HANDLE slave = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, slaveId);
    ASSERT_NE(slave, nullptr);
    ::TerminateProcess(slave, 1);
    ::WaitForSingleObject(slave, 10000);
    ::CloseHandle(slave);
}

// At rest the library begins no wait: each poller waits on its event and a
// wake-up object of its own with no time limit, and nothing else runs.
// Counted as the waits the library begins in the emulation; a poller that
// waited in slices of a second would begin 40 in these 5 s.
TEST_F(WindowsTimer, EightListeningChannelsBeginNoWaitAtRestAndEachStillGetsItsNotification) {
    routeLibrary(timer::Windows::Current);
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        openSlaveFrom(channel, "TestSlave");
        ASSERT_EQ(api.event(static_cast<std::int8_t>(channel), callbackOf(channel)), ZOLT_OK);
        ASSERT_EQ(write(channel, "echo>ready"), ZOLT_OK);
    }
    const long before = timer::blockingWaits();
    constexpr DWORD kRestMilliseconds = 5000;
    ::Sleep(kRestMilliseconds);  // the rest itself is what is measured
    // A poller that a slow machine resumed late may begin its one wait now.
    EXPECT_LE(timer::blockingWaits() - before, ZOLT_CHANNEL_COUNT + 2) << "in " << kRestMilliseconds << " ms";

    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        ASSERT_EQ(write(channel, "push>after the rest " + std::to_string(channel)), ZOLT_OK);
    }
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        ASSERT_TRUE(recorderOf(channel).waitForCalls(1)) << channel;
        EXPECT_EQ(recorderOf(channel).texts(), std::vector<std::string>{"after the rest " + std::to_string(channel)});
    }
}

// A kit slave at rest waits on the host's wake-up event and its process, a
// second at a time, instead of napping a millisecond: counted as the waits it
// begins in the emulation. Its first command after the rest still takes the
// host about one sleep, not a resting second.
TEST_F(WindowsTimer, AKitSlaveAtRestWaitsAboutOnceASecondAndAnswersAtOnceAfterwards) {
    routeLibrary(timer::Windows::Current);
    openSlaveFrom(0, "TickingTestSlave");
    ASSERT_EQ(write(0, "pid"), ZOLT_OK);
    const auto slaveId = static_cast<DWORD>(std::stoul(reply(0)));
    const long before = timer::blockingWaitsOf(slaveId);
    ASSERT_GE(before, 0) << "the slave published no count";

    constexpr DWORD kRestMilliseconds = 5000;
    ::Sleep(kRestMilliseconds);  // the rest itself is what is measured
    const long slaveWaits = timer::blockingWaitsOf(slaveId) - before;
    // After a command come its quick naps, then at most two waits a second;
    // napping a millisecond would be about 5,000.
    EXPECT_GE(slaveWaits, ZOLT_SLAVE_QUICK_NAPS);
    EXPECT_LE(slaveWaits, ZOLT_SLAVE_QUICK_NAPS + 2 * 5 + 2) << "in " << kRestMilliseconds << " ms";

    const long hostBefore = timer::blockingWaits();
    ASSERT_EQ(write(0, "echo>awake"), ZOLT_OK);
    EXPECT_EQ(reply(0), "awake");
    // A slave left resting would cost the host a thousand sleeps. The room
    // above two is for a slave that a loaded machine schedules late.
    EXPECT_LE(timer::blockingWaits() - hostBefore, 10);
}

// Where Windows refuses the high-resolution timer, the library holds the
// finer tick while it waits, and only then.
TEST_F(WindowsTimer, OlderWindowsHoldsTheFinerTickOnlyWhileWaiting) {
    routeLibrary(timer::Windows::Before1803);
    openSlaveFrom(0, "TickingTestSlave");
    const Exchanges run = exchange(0, 100);
    EXPECT_LE(run.medianSeconds, 0.005);
    EXPECT_LT(run.cpuSeconds, run.wallSeconds / 3);
    EXPECT_EQ(timer::periodsHeld(), 0);
}

}  // namespace
}  // namespace zolt_test
