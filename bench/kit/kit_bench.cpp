// zolt_kit_bench: what kit slaves cost, and what an exchange with one costs,
// on Linux and on Windows (or Wine). Google Benchmark is not there for the
// Windows build, so this is a plain program that prints one table:
//   sleep        median of 500 sleeps of 1 ms as the library sleeps (on
//                Windows not routed through the emulation), the yardstick
//   exchanges    median and 99th percentile of 2000 exchanges to one slave,
//                and the host's CPU over their wall time
//   idle         CPU of 1 and of 8 slaves over 5 s without a command, each
//                after one command
//   after rest   the first exchange on each channel after that rest
//   time-out     a write to a slave that never answers (--timeout)
//   wake         on Linux, the library's wake-up after raising the state
//                byte with no slave waiting for it
// Options: --slave NAME (a program of the build beside this one, default
// TestSlave), --script FILE (a Python slave script instead; Linux), --rest S,
// --exchanges N, --timeout, and on Windows --windows-timer, which routes the
// library through the emulated 15.625 ms tick of tests/windows_timer/.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "slave_cpu.h"
#include "zolt_loader.h"

#if defined(_WIN32)
#include <windows.h>

#include "emulated_timer.h"
#include "zolt_precise_sleep.h"
#else
#include <time.h>

#include "wake_cost.h"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
    std::string slave = "TestSlave";
    std::string script;
    double restSeconds = 5.0;
    int exchanges = 2000;
    bool timeout = false;
    bool windowsTimer = false;
};

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[rank];
}

class Bench {
public:
    Bench(const zolt_loader::ZoltFunctions& zolt, const Options& options) : zolt_(zolt), options_(options) {
        folder_ = fs::temp_directory_path() / ("zolt-kit-bench-" + std::to_string(kit_bench::ownProcessId()));
        fs::create_directories(folder_);
    }
    ~Bench() {
        for (int channel = 0; channel < 8; ++channel) zolt_.close(static_cast<std::int8_t>(channel));
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Opens `channel` to a fresh copy of the slave; returns its process id.
    int open(int channel) {
        const std::string path = place("KitBench" + std::to_string(kit_bench::ownProcessId()) + "n" +
                                       std::to_string(made_++));
        if (zolt_.open(static_cast<std::int8_t>(channel), path.c_str()) != 0) return -1;
        if (zolt_.write(static_cast<std::int8_t>(channel), "pid") != 0) return -1;
        return std::atoi(zolt_.read(static_cast<std::int8_t>(channel)));
    }

    bool exchange(int channel) { return zolt_.write(static_cast<std::int8_t>(channel), "echo>ping") == 0; }

    void close(int channel) { zolt_.close(static_cast<std::int8_t>(channel)); }

private:
    std::string place(const std::string& name) {
#if defined(_WIN32)
        const fs::path target = folder_ / (name + ".exe");
        fs::copy_file(fs::path(zolt_loader::programFolder()) / (options_.slave + ".exe"), target);
#else
        fs::path target = folder_ / name;
        if (!options_.script.empty()) {
            // The script under a name of its own, started by its #! line.
            target += ".py";
            std::ifstream in(options_.script);
            std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            body = body.substr(body.find('\n') + 1);
            std::ofstream(target) << "#!/usr/bin/python3\n" << body;
            fs::permissions(target, fs::perms::owner_all);
        } else {
            fs::create_symlink(fs::path(zolt_loader::programFolder()) / options_.slave, target);
        }
#endif
        return target.string();
    }

    const zolt_loader::ZoltFunctions& zolt_;
    const Options& options_;
    fs::path folder_;
    int made_ = 0;
};

void sleepOneMillisecond() {
#if defined(_WIN32)
    static ZoltPreciseSleep sleeper = {};
    zolt_precise_sleep(&sleeper, 1000);
#else
    timespec remaining{0, 1'000'000};
    while (::nanosleep(&remaining, &remaining) != 0) {
    }
#endif
}

int run(const Options& options) {
    zolt_loader::ZoltFunctions zolt;
    std::string error;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, zolt, error)) {
        std::fprintf(stderr, "zolt_kit_bench: %s\n", error.c_str());
        return 1;
    }
#if defined(_WIN32)
    if (options.windowsTimer &&
        zolt_test::emulated_timer::route(::GetModuleHandleA(zolt_loader::kLibraryFileName)) == 0) {
        std::fprintf(stderr, "zolt_kit_bench: no timer import of the library to route\n");
        return 1;
    }
#endif
    Bench bench(zolt, options);
    std::printf("| Case | Figure |\n|---|---|\n");

    std::vector<double> slept;
    for (int i = 0; i < 500; ++i) {
        const auto before = Clock::now();
        sleepOneMillisecond();
        slept.push_back(secondsSince(before));
    }
    std::printf("| One 1 ms sleep, median | %.3f ms |\n", percentile(slept, 0.5) * 1e3);

    // Exchanges to one slave that answers at once.
    if (bench.open(0) < 0) return std::fprintf(stderr, "zolt_kit_bench: cannot open a slave\n"), 1;
    for (int i = 0; i < 20; ++i) bench.exchange(0);
    std::vector<double> took;
    const double cpuBefore = kit_bench::ownCpuSeconds();
    const auto started = Clock::now();
    for (int i = 0; i < options.exchanges; ++i) {
        const auto before = Clock::now();
        if (!bench.exchange(0)) return std::fprintf(stderr, "zolt_kit_bench: an exchange failed\n"), 1;
        took.push_back(secondsSince(before));
    }
    const double wall = secondsSince(started);
    const double cpu = kit_bench::ownCpuSeconds() - cpuBefore;
    std::printf("| Exchange, median | %.3f ms |\n| Exchange, p99 | %.3f ms |\n", percentile(took, 0.5) * 1e3,
                percentile(took, 0.99) * 1e3);
    std::printf("| Host CPU during the exchanges | %.1f %% of their wall time |\n", 100 * cpu / wall);
    bench.close(0);

    // Idle slaves, then the first command after their rest.
    for (const int count : {1, 8}) {
        std::vector<int> pids;
        for (int channel = 0; channel < count; ++channel) pids.push_back(bench.open(channel));
        if (std::count(pids.begin(), pids.end(), -1) != 0)
            return std::fprintf(stderr, "zolt_kit_bench: cannot open %d slaves\n", count), 1;
        // Past the quick looks that follow a command.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        double slavesBefore = 0;
        for (const int pid : pids) slavesBefore += kit_bench::cpuSecondsOf(pid);
        const auto restStarted = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(options.restSeconds));
        double slavesAfter = 0;
        for (const int pid : pids) slavesAfter += kit_bench::cpuSecondsOf(pid);
        const double rest = secondsSince(restStarted);
        std::vector<double> first;
        for (int channel = 0; channel < count; ++channel) {
            const auto before = Clock::now();
            bench.exchange(channel);
            first.push_back(secondsSince(before));
        }
        if (slavesAfter > slavesBefore)
            std::printf("| %d idle slave%s, CPU together | %.3f %% of a core |\n", count, count > 1 ? "s" : "",
                        100 * (slavesAfter - slavesBefore) / rest);
        else  // Wine keeps no times of other processes
            std::printf("| %d idle slave%s, CPU together | not reported by the system |\n", count,
                        count > 1 ? "s" : "");
        std::printf("| First command after %.0f s of rest, %d slave%s | median %.3f ms, worst %.3f ms |\n", rest,
                    count, count > 1 ? "s" : "", percentile(first, 0.5) * 1e3,
                    *std::max_element(first.begin(), first.end()) * 1e3);
        for (int channel = 0; channel < count; ++channel) bench.close(channel);
    }

#if !defined(_WIN32)
    std::printf("| Wake-up after raising the state byte, nobody waiting | %.0f ns |\n", kit_bench::wakeNanoseconds());
#endif
    if (options.timeout) {
        const int pid = bench.open(0);
        const auto before = Clock::now();
        const int status = zolt.write(0, "mute");
        std::printf("| Time-out (status %d) | %.2f s |\n", status, secondsSince(before));
        kit_bench::endProcess(pid);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--slave" && hasValue) {
            options.slave = argv[++i];
        } else if (argument == "--script" && hasValue) {
            options.script = argv[++i];
        } else if (argument == "--rest" && hasValue) {
            options.restSeconds = std::atof(argv[++i]);
        } else if (argument == "--exchanges" && hasValue) {
            options.exchanges = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--timeout") {
            options.timeout = true;
        } else if (argument == "--windows-timer") {
            options.windowsTimer = true;
        } else {
            std::fprintf(stderr, "usage: zolt_kit_bench [--slave NAME | --script FILE] [--rest S] [--exchanges N] "
                                 "[--timeout] [--windows-timer]\n");
            return 2;
        }
    }
    return run(options);
}
