// What the library is measured against: the sleep it waits in, the pipes a
// user would pick instead, and the same mailbox with both sides spinning.
#include <fcntl.h>
#include <semaphore.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "benchmarks.h"
#include "mailbox_layout.h"
#include "pipe_io.h"
#include "results.h"
#include "samples.h"
#include "zolt_host.h"

extern char** environ;

namespace zolt_bench {

namespace {

constexpr char kCommand[] = "ping";

double secondsBetween(std::int64_t start, std::int64_t end) { return static_cast<double>(end - start) * 1e-9; }

void reap(pid_t& child) {
    if (child <= 0) return;
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    child = 0;
}

// The bench slave in its pipe way: one line in, the same line back.
class PipeChild {
public:
    ~PipeChild() {
        // End of input ends the child.
        closeDescriptor(toChild_);
        closeDescriptor(fromChild_);
        reap(child_);
    }

    bool start(std::string& error) {
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
            error = std::string("pipe2: ") + std::strerror(errno);
            return false;
        }
        toChild_ = toChild[1];
        fromChild_ = fromChild[0];
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        const std::string program = binaryFolder() + "/BenchSlave";
        char name[] = "BenchSlave.pipe";
        char* const arguments[] = {name, nullptr};
        const int failed = ::posix_spawn(&child_, program.c_str(), &actions, nullptr, arguments, environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        if (failed != 0) {
            child_ = 0;
            error = "cannot start " + program + ": " + std::strerror(failed);
            return false;
        }
        return true;
    }

    // Sends `line` (ending in a newline) and reads until the reply's newline.
    bool exchange(const char* line, std::size_t length) {
        if (!writeAll(toChild_, line, length)) return false;
        std::size_t held = 0;
        while (held == 0 || reply_[held - 1] != '\n') {
            const ssize_t got = ::read(fromChild_, reply_ + held, sizeof reply_ - held);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            held += static_cast<std::size_t>(got);
            if (held == sizeof reply_) return false;
        }
        return held == length && std::memcmp(reply_, line, length) == 0;
    }

private:
    static void closeDescriptor(int& descriptor) {
        if (descriptor >= 0) ::close(descriptor);
        descriptor = -1;
    }

    pid_t child_ = 0;
    int toChild_ = -1;
    int fromChild_ = -1;
    char reply_[ZOLT_TEXT_CAPACITY];
};

// The bench slave in its spinning way, on a mailbox of our own, with this
// side spinning too: the library's protocol without its sleeps.
class SpinningPeer {
public:
    ~SpinningPeer() {
        if (mailbox_ != nullptr) {
            // The slave ends once it has answered this.
            if (child_ > 0 && exchange(ZOLT_COMMAND_CLOSE)) reap(child_);
            ::munmap(mailbox_, ZOLT_MAILBOX_SIZE);
        }
        if (event_ != SEM_FAILED) ::sem_close(event_);
        if (!mailboxName_.empty()) ::shm_unlink(mailboxName_.c_str());
        if (!eventName_.empty()) ::sem_unlink(eventName_.c_str());
        // A slave that did not answer goes when we go.
        if (child_ > 0) ::kill(child_, SIGTERM);
        reap(child_);
    }

    bool start(std::string& error) {
        const std::string link = SlaveLinks::shared().newLink("spin");
        if (link.empty()) {
            error = "cannot make a link to the bench slave";
            return false;
        }
        const std::string mailboxName = objectName(link, ZOLT_MAILBOX_SUFFIX);
        const int descriptor = ::shm_open(mailboxName.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        if (descriptor < 0 || ::ftruncate(descriptor, ZOLT_MAILBOX_SIZE) != 0) {
            error = "cannot create " + mailboxName + ": " + std::strerror(errno);
            if (descriptor >= 0) ::close(descriptor);
            return false;
        }
        mailboxName_ = mailboxName;
        void* mapped = ::mmap(nullptr, ZOLT_MAILBOX_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
        ::close(descriptor);
        if (mapped == MAP_FAILED) {
            error = "cannot map " + mailboxName + ": " + std::strerror(errno);
            return false;
        }
        mailbox_ = static_cast<unsigned char*>(mapped);
        // The slave opens the event too, though nothing here posts it.
        const std::string eventName = objectName(link, ZOLT_EVENT_SUFFIX);
        event_ = ::sem_open(eventName.c_str(), O_CREAT | O_EXCL, 0600, 0);
        if (event_ == SEM_FAILED) {
            error = "cannot create " + eventName + ": " + std::strerror(errno);
            return false;
        }
        eventName_ = eventName;
        char* const arguments[] = {const_cast<char*>(link.c_str()), nullptr};
        const int failed = ::posix_spawn(&child_, link.c_str(), nullptr, nullptr, arguments, environ);
        if (failed != 0) {
            child_ = 0;
            error = "cannot start " + link + ": " + std::strerror(failed);
            return false;
        }
        return true;
    }

    // False if the slave has not answered within 4 s, as the library would.
    bool exchange(const char* command) {
        putText(mailbox_, command);
        storeState(mailbox_, kPending);
        for (std::uint32_t spins = 1; loadState(mailbox_) != kIdle; ++spins) {
            relaxInSpin();
            if (spins % 65536 == 0) {
                if (spins == 65536) waitStart_ = monotonicNanoseconds();
                else if (monotonicNanoseconds() - waitStart_ > 4'000'000'000) return false;
            }
        }
        takeText(mailbox_, reply_);
        return std::strcmp(reply_, command) == 0 || std::strcmp(command, ZOLT_COMMAND_CLOSE) == 0;
    }

private:
    std::string mailboxName_;
    std::string eventName_;
    unsigned char* mailbox_ = nullptr;
    sem_t* event_ = SEM_FAILED;
    pid_t child_ = 0;
    std::int64_t waitStart_ = 0;
    char reply_[ZOLT_TEXT_CAPACITY] = {};
};

}  // namespace

void sleepOneMillisecondBenchmark(benchmark::State& state) {
    Samples samples(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        const std::int64_t start = monotonicNanoseconds();
        sleepOneMillisecond();
        const double seconds = secondsBetween(start, monotonicNanoseconds());
        samples.add(seconds);
        state.SetIterationTime(seconds);
    }
    results().sleep = samples.summarize();
    reportSpread(state, *results().sleep);
}

void pipeRoundTripBenchmark(benchmark::State& state) {
    PipeChild child;
    std::string error;
    if (!child.start(error)) return fail(state, error);
    const std::string line = std::string(kCommand) + "\n";
    // The first exchange also waits for the child to start.
    if (!child.exchange(line.data(), line.size())) return fail(state, "the pipe child did not echo");

    Samples samples(static_cast<std::size_t>(state.max_iterations));
    const std::int64_t cpuBefore = processCpuNanoseconds();
    std::int64_t previous = monotonicNanoseconds();
    for (auto _ : state) {
        if (!child.exchange(line.data(), line.size())) {
            fail(state, "the pipe child did not echo");
            break;
        }
        // One clock read per exchange: each sample starts where the last ended.
        const std::int64_t now = monotonicNanoseconds();
        samples.add(secondsBetween(previous, now));
        state.SetIterationTime(secondsBetween(previous, now));
        previous = now;
    }
    if (state.error_occurred()) return;
    results().pipe = samples.summarize();
    results().pipeCpu = secondsBetween(cpuBefore, processCpuNanoseconds()) / static_cast<double>(samples.size());
    reportSpread(state, *results().pipe);
}

void spinRoundTripBenchmark(benchmark::State& state, int roundTrips, double seconds) {
    SpinningPeer peer;
    std::string error;
    if (!peer.start(error)) return fail(state, error);
    if (!peer.exchange(kCommand)) return fail(state, "the spinning slave did not echo");

    // One iteration with a time limit of its own: whenever the two spinners
    // share a core, a round trip waits for a time slice, and a fixed count
    // could take minutes on a busy machine.
    Samples samples(static_cast<std::size_t>(roundTrips));
    for (auto _ : state) {
        const std::int64_t start = monotonicNanoseconds();
        const auto limit = start + static_cast<std::int64_t>(seconds * 1e9);
        std::int64_t previous = start;
        for (int i = 0; i < roundTrips && previous < limit; ++i) {
            if (!peer.exchange(kCommand)) {
                fail(state, "the spinning slave did not echo");
                break;
            }
            const std::int64_t now = monotonicNanoseconds();
            samples.add(secondsBetween(previous, now));
            previous = now;
        }
        state.SetIterationTime(secondsBetween(start, previous));
    }
    if (state.error_occurred()) return;
    results().spin = samples.summarize();
    reportSpread(state, *results().spin);
}

}  // namespace zolt_bench
