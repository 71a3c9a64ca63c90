// The real libZolt.so, loaded by file name, driving bench slaves.
#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "allocation_counter.h"
#include "benchmarks.h"
#include "mailbox_layout.h"
#include "results.h"
#include "samples.h"
#include "zolt_host.h"

namespace zolt_bench {

namespace {

constexpr char kCommand[] = "ping";
constexpr int kWarmUpExchanges = 10;

double secondsBetween(std::int64_t start, std::int64_t end) { return static_cast<double>(end - start) * 1e-9; }

std::string statusText(const char* what, int channel, int status) {
    return std::string(what) + " on channel " + std::to_string(channel) + " gave status " + std::to_string(status);
}

// Loads the library, or fails the benchmark.
ZoltHost* hostFor(benchmark::State& state) {
    ZoltHost& host = ZoltHost::instance();
    if (host.loaded()) return &host;
    fail(state, host.error());
    return nullptr;
}

// Opens channels 0 to count - 1 to slaves of one way of waiting, and waits for
// each slave to answer, so that no start-up lands in a measurement. Closes
// them again when done.
class OpenChannels {
public:
    OpenChannels(ZoltHost& host, int count, const char* way) : host_(host) {
        for (int channel = 0; channel < count && error_.empty(); ++channel) {
            if (const int status = host.open(channel, way); status != ZOLT_OK) {
                error_ = statusText("open", channel, status);
                break;
            }
            opened_ = channel + 1;
            for (int i = 0; i < kWarmUpExchanges && error_.empty(); ++i) {
                if (const int status = host.write(channel, kCommand); status != ZOLT_OK)
                    error_ = statusText("warm-up write", channel, status);
            }
        }
    }
    ~OpenChannels() {
        for (int channel = 0; channel < opened_; ++channel) host_.close(channel);
    }
    OpenChannels(const OpenChannels&) = delete;
    OpenChannels& operator=(const OpenChannels&) = delete;

    const std::string& error() const { return error_; }

private:
    ZoltHost& host_;
    int opened_ = 0;
    std::string error_;
};

}  // namespace

void zoltRoundTripBenchmark(benchmark::State& state) {
    ZoltHost* host = hostFor(state);
    if (host == nullptr) return;
    OpenChannels channel(*host, 1, "spin");
    if (!channel.error().empty()) return fail(state, channel.error());

    // A sleep after every fifth exchange, so the ratio compares the two under
    // the same load of the machine.
    constexpr int kExchangesPerSleep = 5;
    Samples samples(static_cast<std::size_t>(state.max_iterations));
    Samples sleeps(static_cast<std::size_t>(state.max_iterations / kExchangesPerSleep));
    long exchanges = 0;
    const unsigned long allocationsBefore = zolt_bench_allocations();
    for (auto _ : state) {
        const std::int64_t start = monotonicNanoseconds();
        const int status = host->write(0, kCommand);
        const std::int64_t end = monotonicNanoseconds();
        if (status != ZOLT_OK || std::strcmp(host->read(0), kCommand) != 0) {
            fail(state, statusText("write", 0, status) + ", reply \"" + host->read(0) + "\"");
            break;
        }
        samples.add(secondsBetween(start, end));
        state.SetIterationTime(secondsBetween(start, end));
        if (++exchanges % kExchangesPerSleep == 0) {
            const std::int64_t sleepStart = monotonicNanoseconds();
            sleepOneMillisecond();
            sleeps.add(secondsBetween(sleepStart, monotonicNanoseconds()));
        }
    }
    const unsigned long allocations = zolt_bench_allocations() - allocationsBefore;
    if (state.error_occurred()) return;

    Results& r = results();
    r.roundTrip = samples.summarize();
    r.sleepBesideRoundTrip = sleeps.summarize();
    r.allocations = allocations;
    r.allocationExchanges = samples.size();
    reportSpread(state, *r.roundTrip);
    state.counters["allocations"] = static_cast<double>(allocations);
}

void zoltChannelsBenchmark(benchmark::State& state, int channelCount, double seconds) {
    ZoltHost* host = hostFor(state);
    if (host == nullptr) return;
    // On two cores eight spinning slaves would starve each other and the host.
    OpenChannels channels(*host, channelCount, "poll");
    if (!channels.error().empty()) return fail(state, channels.error());

    struct Tally {
        long exchanges = 0;
        std::int64_t end = 0;
        std::string error;
    };
    std::vector<Tally> tallies(static_cast<std::size_t>(channelCount));
    std::atomic<bool> go{false};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int channel = 0; channel < channelCount; ++channel) {
        threads.emplace_back([&, channel] {
            Tally& tally = tallies[static_cast<std::size_t>(channel)];
            go.wait(false);
            while (!stop.load(std::memory_order_relaxed)) {
                const int status = host->write(channel, kCommand);
                if (status != ZOLT_OK || std::strcmp(host->read(channel), kCommand) != 0) {
                    tally.error = statusText("write", channel, status);
                    break;
                }
                ++tally.exchanges;
            }
            tally.end = monotonicNanoseconds();
        });
    }

    long total = 0;
    double elapsed = 0;
    double cpu = 0;
    for (auto _ : state) {
        const std::int64_t cpuBefore = processCpuNanoseconds();
        const std::int64_t start = monotonicNanoseconds();
        go = true;
        go.notify_all();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        stop = true;
        std::int64_t end = start;
        for (std::size_t i = 0; i < threads.size(); ++i) {
            threads[i].join();
            total += tallies[i].exchanges;
            end = std::max(end, tallies[i].end);
        }
        elapsed = secondsBetween(start, end);
        cpu = secondsBetween(cpuBefore, processCpuNanoseconds());
        state.SetIterationTime(elapsed);
    }
    // Had the loop not run, the threads would still wait for the start.
    stop = true;
    go = true;
    go.notify_all();
    for (std::thread& thread : threads) {
        if (thread.joinable()) thread.join();
    }
    for (const Tally& tally : tallies) {
        if (!tally.error.empty()) return fail(state, tally.error);
    }

    const double rate = static_cast<double>(total) / elapsed;
    if (channelCount == 1) {
        results().oneChannelRate = rate;
        results().oneChannelCpu = cpu / static_cast<double>(total);
    } else {
        results().eightChannelRate = rate;
    }
    state.counters["exchanges_per_s"] = rate;
}

void zoltTimeoutBenchmark(benchmark::State& state) {
    ZoltHost* host = hostFor(state);
    if (host == nullptr) return;
    std::string slavePath;
    if (const int status = host->open(0, "mute", &slavePath); status != ZOLT_OK)
        return fail(state, statusText("open", 0, status));

    int status = ZOLT_OK;
    for (auto _ : state) {
        const std::int64_t start = monotonicNanoseconds();
        status = host->write(0, kCommand);
        const double seconds = secondsBetween(start, monotonicNanoseconds());
        state.SetIterationTime(seconds);
        results().timeout = seconds;
        state.counters["seconds"] = seconds;
    }
    // The slave answers late once told to, so the close is quick.
    if (sem_t* event = ::sem_open(objectName(slavePath, ZOLT_EVENT_SUFFIX).c_str(), 0); event != SEM_FAILED) {
        ::sem_post(event);
        ::sem_close(event);
    }
    const int closed = host->close(0);
    if (status != ZOLT_WRITE_REPLY_TIMEOUT) {
        results().timeout.reset();
        return fail(state, statusText("write to the mute slave", 0, status));
    }
    if (closed != ZOLT_OK) fail(state, statusText("close after the time-out", 0, closed));
}

namespace {

constexpr int kNotifiedChannel = 0;
Samples* notificationSamples = nullptr;
std::atomic<int> notificationsSeen{0};
std::atomic<bool> notificationGarbled{false};

// Runs on the channel's poller thread; the slave stamped the text just
// before it posted the event.
void ZOLT_CALL onNotification() {
    const std::int64_t entered = monotonicNanoseconds();
    std::int64_t posted = 0;
    if (std::sscanf(ZoltHost::instance().read(kNotifiedChannel), "note %" SCNd64, &posted) != 1) {
        notificationGarbled = true;
        return;
    }
    notificationSamples->add(secondsBetween(posted, entered));
    notificationsSeen.fetch_add(1, std::memory_order_release);
}

}  // namespace

void zoltNotificationBenchmark(benchmark::State& state, int notifications) {
    ZoltHost* host = hostFor(state);
    if (host == nullptr) return;
    Samples samples(static_cast<std::size_t>(notifications));
    notificationSamples = &samples;
    notificationsSeen = 0;
    {
        OpenChannels channel(*host, 1, "spin");
        if (!channel.error().empty()) return fail(state, channel.error());
        if (const int status = host->enableCallback(kNotifiedChannel, &onNotification); status != ZOLT_OK)
            return fail(state, statusText("event", kNotifiedChannel, status));

        for (auto _ : state) {
            const std::int64_t start = monotonicNanoseconds();
            if (const int status = host->write(kNotifiedChannel, "notify"); status != ZOLT_OK) {
                fail(state, statusText("write", kNotifiedChannel, status));
                break;
            }
            // A notification takes about three sleeps; allow far more.
            const std::int64_t deadline = start + notifications * 50'000'000LL + 5'000'000'000LL;
            while (notificationsSeen.load(std::memory_order_acquire) < notifications &&
                   monotonicNanoseconds() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            state.SetIterationTime(secondsBetween(start, monotonicNanoseconds()));
            host->write(kNotifiedChannel, "quiet");
        }
        // Closing waits for a callback in progress: after it none runs.
    }
    notificationSamples = nullptr;
    if (state.error_occurred()) return;
    if (notificationGarbled) return fail(state, "a notification's text held no stamp");
    if (samples.size() < static_cast<std::size_t>(notifications))
        return fail(state, "only " + std::to_string(samples.size()) + " notifications arrived");
    results().notification = samples.summarize();
    reportSpread(state, *results().notification);
}

namespace {

std::atomic<int> idleCallbacks{0};

void ZOLT_CALL onIdleNotification() { ++idleCallbacks; }

}  // namespace

void zoltIdleBenchmark(benchmark::State& state, double seconds) {
    ZoltHost* host = hostFor(state);
    if (host == nullptr) return;
    OpenChannels channels(*host, ZOLT_CHANNEL_COUNT, "poll");
    if (!channels.error().empty()) return fail(state, channels.error());
    for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) {
        if (const int status = host->enableCallback(channel, &onIdleNotification); status != ZOLT_OK)
            return fail(state, statusText("event", channel, status));
    }
    // Lets the pollers reach their wait before counting starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    idleCallbacks = 0;
    for (auto _ : state) {
        const std::int64_t cpuBefore = processCpuNanoseconds();
        const std::int64_t start = monotonicNanoseconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const std::int64_t end = monotonicNanoseconds();
        const double cpu = secondsBetween(cpuBefore, processCpuNanoseconds());
        state.SetIterationTime(secondsBetween(start, end));
        results().idleCpu = cpu;
        results().idleSeconds = secondsBetween(start, end);
        state.counters["cpu_us"] = cpu * 1e6;
    }
    if (idleCallbacks != 0) {
        results().idleCpu.reset();
        fail(state, "callbacks ran although no slave notified");
    }
}

}  // namespace zolt_bench
