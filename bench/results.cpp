#include "results.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace zolt_bench {

Results& results() {
    static Results gathered;
    return gathered;
}

namespace {

std::string duration(double seconds) {
    char text[32];
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.3f s", seconds);
    else if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    else if (seconds >= 1e-6)
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    else
        std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
    return text;
}

std::string number(double value, const char* format) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string spread(const Summary& summary) {
    return "median " + duration(summary.median) + ", p99 " + duration(summary.p99) + " (n = " +
           std::to_string(summary.count) + ")";
}

const char* verdict(bool met) { return met ? "**yes**" : "**no**"; }

std::string firstLineWith(const char* path, const std::string& key) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(key, 0) == 0) {
            const std::size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Row {
    std::string what, measured, target, met;
};

}  // namespace

void printSummary(std::FILE* out) {
    const Results& r = results();
    utsname system{};
    ::uname(&system);
    std::fprintf(out, "\n## Zolt benchmark summary\n\n");
    std::fprintf(out, "- CPU: %s, %ld online (nproc)\n", firstLineWith("/proc/cpuinfo", "model name").c_str(),
                 ::sysconf(_SC_NPROCESSORS_ONLN));
    std::fprintf(out, "- Kernel: %s %s %s\n", system.sysname, system.release, system.machine);
    std::fprintf(out, "- Load average at the end: %s\n\n", loadAverage().c_str());

    const std::string notRun = "not run";
    std::vector<Row> rows;

    Row sleep{"One 1 ms sleep (nanosleep), the unit of the library's waits", notRun, "reference", "-"};
    if (r.sleep) sleep.measured = spread(*r.sleep) + ", mean " + duration(r.sleep->mean);
    rows.push_back(sleep);

    Row roundTrip{"1. Exchange round trip through libZolt.so, slave spinning", notRun, "median <= 1.10 x sleep",
                  notRun};
    if (r.roundTrip) {
        roundTrip.measured = spread(*r.roundTrip);
        if (r.sleepBesideRoundTrip && r.sleepBesideRoundTrip->count > 0) {
            const double ratio = r.roundTrip->median / r.sleepBesideRoundTrip->median;
            roundTrip.measured += "; median = " + number(ratio, "%.3f") + " x the median of " +
                                  std::to_string(r.sleepBesideRoundTrip->count) +
                                  " sleeps taken between these exchanges (" +
                                  duration(r.sleepBesideRoundTrip->median) + ")";
            roundTrip.met = verdict(ratio <= 1.10);
        }
    }
    rows.push_back(roundTrip);

    Row channels{"2. Eight channels, eight host threads, slaves polling every 100 us", notRun,
                 ">= 7 x one channel", notRun};
    if (r.eightChannelRate) {
        channels.measured = number(*r.eightChannelRate, "%.0f") + " exchanges/s";
        if (r.oneChannelRate) {
            const double ratio = *r.eightChannelRate / *r.oneChannelRate;
            channels.measured += " = " + number(ratio, "%.2f") + " x one channel (" +
                                 number(*r.oneChannelRate, "%.0f") + "/s, same slave)";
            channels.met = verdict(ratio >= 7.0);
        }
    }
    rows.push_back(channels);

    Row timeout{"3. Time-out: write to a slave that never answers", notRun, "4.0 s to 1.10 x 4000 sleeps", notRun};
    if (r.timeout) {
        timeout.measured = duration(*r.timeout);
        if (r.sleep) {
            const double ceiling = 1.10 * 4000 * r.sleep->mean;
            timeout.target = "4.000 s to " + duration(ceiling) + " (1.10 x 4000 x mean sleep)";
            timeout.met = verdict(*r.timeout >= 4.0 && *r.timeout <= ceiling);
        }
    }
    rows.push_back(timeout);

    Row notification{"4. Notification: slave's sem_post to callback entry", notRun, "none set", "-"};
    if (r.notification) {
        notification.measured = spread(*r.notification);
        if (r.sleep)
            notification.measured += ", median = " + number(r.notification->median / r.sleep->median, "%.3f") +
                                     " x sleep";
    }
    rows.push_back(notification);

    Row idle{"5. Idle host: CPU with 8 open channels and 8 callbacks, no traffic", notRun, "< 1 ms", notRun};
    if (r.idleCpu) {
        idle.measured = duration(*r.idleCpu) + " over " + number(r.idleSeconds, "%.1f") + " s";
        idle.met = verdict(*r.idleCpu < 1e-3);
    }
    rows.push_back(idle);

    Row allocations{"6. Heap allocations during the exchanges of row 1", notRun, "0", notRun};
    if (r.allocations) {
        allocations.measured =
            std::to_string(*r.allocations) + " in " + std::to_string(r.allocationExchanges) + " exchanges";
        allocations.met = verdict(*r.allocations == 0);
    }
    rows.push_back(allocations);

    Row pipe{"7a. Alternative: request/reply over two pipes to a child", notRun, "-", "-"};
    if (r.pipe) {
        pipe.measured = spread(*r.pipe);
        if (r.roundTrip)
            pipe.measured += "; Zolt's median = " + number(r.roundTrip->median / r.pipe->median, "%.1f") + " x this";
        pipe.measured += "; host CPU per exchange " + duration(r.pipeCpu);
        if (r.oneChannelRate) pipe.measured += ", Zolt's " + duration(r.oneChannelCpu) + " (row 2, one channel)";
    }
    rows.push_back(pipe);

    Row spin{"7b. Limit: shared-memory ping-pong, both sides spinning", notRun, "-", "-"};
    if (r.spin) {
        spin.measured = spread(*r.spin);
        if (r.roundTrip)
            spin.measured += "; Zolt's median = " + number(r.roundTrip->median / r.spin->median, "%.0f") + " x this";
    }
    rows.push_back(spin);

    std::fprintf(out, "| Case | Measured | Target | Met |\n|---|---|---|---|\n");
    for (const Row& row : rows)
        std::fprintf(out, "| %s | %s | %s | %s |\n", row.what.c_str(), row.measured.c_str(), row.target.c_str(),
                     row.met.c_str());
    for (const std::string& error : r.errors) std::fprintf(out, "\nError: %s\n", error.c_str());
}

}  // namespace zolt_bench
