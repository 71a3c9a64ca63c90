// BenchSlave: answers as fast as its way of waiting allows. The library starts
// a slave with its path as the only argument, so the way is the extension of
// that path (the stem, which names the mailbox, leaves it out):
//   Name.spin  spins on the state byte
//   Name.poll  looks every 100 us, sleeping in between
//   Name.mute  leaves its first command unanswered until its event is posted,
//              then answers it late and polls from there on
//   Name.pipe  no mailbox: echoes each line of stdin to stdout
//
// Commands: "Close" ends it, "Ask" hands out the pending notification,
// "notify" starts a notification every 2 ms (stamped with CLOCK_MONOTONIC
// just before the event is posted), "quiet" stops them. Anything else is
// echoed back.
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "mailbox_layout.h"
#include "pipe_io.h"

namespace {

using namespace zolt_bench;

constexpr int kOrphanExitCode = 3;
constexpr int kStartFailureExitCode = 2;
constexpr long kPollNanoseconds = 100'000;
constexpr std::int64_t kNotificationGapNanoseconds = 2'000'000;
constexpr std::int64_t kNever = INT64_MAX;

std::int64_t monotonicNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void sleepNanoseconds(long nanoseconds) {
    timespec remaining{0, nanoseconds};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

[[noreturn]] void failStart(const char* what, const std::string& name) {
    std::fprintf(stderr, "BenchSlave: %s %s: %s\n", what, name.c_str(), std::strerror(errno));
    std::exit(kStartFailureExitCode);
}

enum class Way { spin, poll, mute };

class MailboxSlave {
public:
    MailboxSlave(unsigned char* mailbox, sem_t* event, Way way)
        : mailbox_(mailbox), event_(event), way_(way), parent_(::getppid()) {}

    [[noreturn]] void serve() {
        if (way_ == Way::mute) answerFirstCommandLate();
        for (;;) {
            waitForCommand();
            handle();
        }
    }

private:
    void waitForCommand() {
        if (way_ == Way::spin) {
            for (std::uint32_t spins = 1; loadState(mailbox_) == kIdle; ++spins) {
                relaxInSpin();
                postNotificationWhenDue();
                // getppid is a system call: once in a while is often enough.
                if (spins % 65536 == 0) exitIfOrphaned();
            }
            return;
        }
        while (loadState(mailbox_) == kIdle) {
            postNotificationWhenDue();
            exitIfOrphaned();
            sleepNanoseconds(kPollNanoseconds);
        }
    }

    // The host's poller for this channel is left suspended, so the event is
    // free to carry the host's go-ahead instead.
    void answerFirstCommandLate() {
        way_ = Way::poll;
        waitForCommand();
        while (::sem_trywait(event_) != 0) {
            exitIfOrphaned();
            sleepNanoseconds(10'000'000);
        }
        reply("late");
    }

    void handle() {
        takeText(mailbox_, command_);
        if (std::strcmp(command_, ZOLT_COMMAND_CLOSE) == 0) {
            reply("Bye");
            std::exit(0);
        }
        if (std::strcmp(command_, ZOLT_COMMAND_ASK) == 0) {
            if (notificationPending_) {
                notificationPending_ = false;
                reply(notification_);
            } else {
                // The host's poller goes back to waiting on the event only
                // after this answer, so the next post waits a while.
                if (notifying_) nextPostAt_ = monotonicNanoseconds() + kNotificationGapNanoseconds;
                reply(ZOLT_REPLY_NOTHING);
            }
        } else if (std::strcmp(command_, "notify") == 0) {
            notifying_ = true;
            nextPostAt_ = monotonicNanoseconds() + kNotificationGapNanoseconds;
            reply("notifying");
        } else if (std::strcmp(command_, "quiet") == 0) {
            notifying_ = false;
            reply("quiet");
        } else {
            reply(command_);
        }
    }

    void postNotificationWhenDue() {
        if (!notifying_ || notificationPending_) return;
        const std::int64_t now = monotonicNanoseconds();
        if (now < nextPostAt_) return;
        std::snprintf(notification_, sizeof notification_, "note %" PRId64, now);
        notificationPending_ = true;
        nextPostAt_ = kNever;
        ::sem_post(event_);
    }

    void reply(const char* text) {
        putText(mailbox_, text);
        storeState(mailbox_, kIdle);
    }

    void exitIfOrphaned() const {
        if (::getppid() != parent_) std::exit(kOrphanExitCode);
    }

    unsigned char* mailbox_;
    sem_t* event_;
    Way way_;
    pid_t parent_;
    char command_[ZOLT_TEXT_CAPACITY] = {};
    bool notifying_ = false;
    bool notificationPending_ = false;
    std::int64_t nextPostAt_ = kNever;
    char notification_[64] = {};
};

// What a user would write without the library: a line in, a line out.
[[noreturn]] void servePipe() {
    char buffer[2 * ZOLT_TEXT_CAPACITY];
    std::size_t held = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer + held, sizeof buffer - held);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) std::exit(0);
        held += static_cast<std::size_t>(got);
        char* newline = nullptr;
        while ((newline = static_cast<char*>(std::memchr(buffer, '\n', held))) != nullptr) {
            const std::size_t line = static_cast<std::size_t>(newline - buffer) + 1;
            if (!writeAll(STDOUT_FILENO, buffer, line)) std::exit(0);
            held -= line;
            std::memmove(buffer, buffer + line, held);
        }
        // A line longer than the buffer has no place in this protocol.
        if (held == sizeof buffer) std::exit(kStartFailureExitCode);
    }
}

// What the stem rule leaves out of the file name: the text after its last
// period.
std::string extensionOf(const char* path) {
    const char* stem = nullptr;
    std::size_t length = 0;
    if (zolt_find_stem(path, ZOLT_PATH_SEPARATOR, &stem, &length) == 0 || stem[length] == '\0') return "";
    return stem + length + 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 1 || argv[0] == nullptr) return kStartFailureExitCode;
    const std::string way = extensionOf(argv[0]);
    if (way == "pipe") servePipe();

    Way mailboxWay = Way::spin;
    if (way == "poll") {
        mailboxWay = Way::poll;
    } else if (way == "mute") {
        mailboxWay = Way::mute;
    } else if (way != "spin") {
        std::fprintf(stderr, "BenchSlave: no way of waiting in the name %s\n", argv[0]);
        return kStartFailureExitCode;
    }

    const std::string mailboxName = objectName(argv[0], ZOLT_MAILBOX_SUFFIX);
    const std::string eventName = objectName(argv[0], ZOLT_EVENT_SUFFIX);
    const int descriptor = ::shm_open(mailboxName.c_str(), O_RDWR, 0);
    if (descriptor < 0) failStart("cannot open mailbox", mailboxName);
    void* mapped = ::mmap(nullptr, ZOLT_MAILBOX_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    ::close(descriptor);
    if (mapped == MAP_FAILED) failStart("cannot map mailbox", mailboxName);
    sem_t* event = ::sem_open(eventName.c_str(), 0);
    if (event == SEM_FAILED) failStart("cannot open event", eventName);

    MailboxSlave(static_cast<unsigned char*>(mapped), event, mailboxWay).serve();
}
