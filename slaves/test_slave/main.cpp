// A slave the tests script through its commands, including ways to misbehave.

#include "command_log.h"
#include "command_prefix.h"
#include "slave_mailbox.h"

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kStartFailureExitCode = 2;

using zolt_slave::SlaveMailbox;
using zolt_slave::takePrefix;

constexpr std::size_t kQueueCapacity = 1024;

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

unsigned long currentProcessId() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

[[noreturn]] void failStart(const std::string& message) {
    std::fprintf(stderr, "TestSlave: %s\n", message.c_str());
    std::exit(kStartFailureExitCode);
}

// Static storage: about a mebibyte.
char waiting[kQueueCapacity][ZOLT_TEXT_CAPACITY];
ZoltSlaveQueue notifications{waiting, kQueueCapacity, 0, 0};

class TestSlave {
public:
    TestSlave(SlaveMailbox& mailbox, CommandLog& log) : mailbox_(mailbox), log_(log) {}

    // Returns only after "Close" has been answered.
    void serve() {
        for (;;) {
            // A view of a NUL-terminated buffer, so every suffix taken from it
            // is NUL-terminated too and can go to reply() as is.
            const std::string_view command = mailbox_.waitForCommand();
            log_.record(command.data());
            const bool keepServing = handle(command);
            ++received_;
            if (!keepServing)
                return;
        }
    }

private:
    bool handle(std::string_view command) {
        std::string_view arg;
        if (command == ZOLT_COMMAND_CLOSE) {
            mailbox_.reply("Bye");
            return false;
        }
        if (command == ZOLT_COMMAND_ASK) {
            if (crashOnAsk_)
                std::abort();
            const char* next = zolt_slave_queue_pop(&notifications);
            mailbox_.reply(next ? next : ZOLT_REPLY_NOTHING);
        } else if (takePrefix(command, "echo>", arg)) {
            mailbox_.reply(arg.data());
        } else if (takePrefix(command, "sleep>", arg)) {
            unsigned long ms = 0;
            if (!parseWhole(arg, ms))
                return replyBad(command);
            mailbox_.pause(std::chrono::milliseconds(ms));
            mailbox_.reply("slept");
        } else if (command == "mute") {
            mailbox_.idleUntilParentGone();
        } else if (takePrefix(command, "exit>", arg)) {
            int code = 0;
            if (!parseWhole(arg, code))
                return replyBad(command);
            std::_Exit(code);
        } else if (takePrefix(command, "crash>", arg)) {
            // Ends without a reply, the way a crashing slave does.
            if (arg == "abort")
                std::abort();
            if (arg == "segv")
                std::raise(SIGSEGV);
            if (arg != "ask")
                return replyBad(command);
            crashOnAsk_ = true;
            mailbox_.reply("armed");
        } else if (takePrefix(command, "state>", arg)) {
            return holdState(command, arg);
        } else if (command == "nonul") {
            mailbox_.replyWithoutNul();
        } else if (takePrefix(command, "notify>", arg)) {
            mailbox_.reply(zolt_slave_queue_push(&notifications, arg.data()) ? "queued" : "full");
        } else if (takePrefix(command, "signal>", arg)) {
            unsigned long times = 0;
            if (!parseWhole(arg, times))
                return replyBad(command);
            mailbox_.reply("signalled");
            for (unsigned long i = 0; i < times; ++i)
                mailbox_.signal();
        } else if (takePrefix(command, "push>", arg)) {
            if (!zolt_slave_queue_push(&notifications, arg.data())) {
                mailbox_.reply("full");
            } else {
                mailbox_.reply("pushed");
                mailbox_.signal();
            }
        } else if (command == "pid") {
            mailbox_.reply(std::to_string(currentProcessId()).c_str());
        } else if (command == "count") {
            mailbox_.reply(std::to_string(received_).c_str());
        } else {
            mailbox_.reply(("ok:" + std::string(command)).c_str());
        }
        return true;
    }

    // "state>N": leaves N in the state byte over a text that is no reply,
    // and serves no more. "state>N>MS": holds N for MS milliseconds, then
    // replies "held" properly and serves on.
    bool holdState(std::string_view command, std::string_view arg) {
        const auto separator = arg.find('>');
        unsigned value = 0;
        unsigned long ms = 0;
        if (!parseWhole(arg.substr(0, separator), value) || value > 255 ||
            (separator != std::string_view::npos && !parseWhole(arg.substr(separator + 1), ms)))
            return replyBad(command);
        mailbox_.setStateOver("not a reply", static_cast<unsigned char>(value));
        if (separator == std::string_view::npos)
            mailbox_.idleUntilParentGone();
        mailbox_.pause(std::chrono::milliseconds(ms));
        mailbox_.reply("held");
        return true;
    }

    bool replyBad(std::string_view command) {
        mailbox_.reply(("bad:" + std::string(command)).c_str());
        return true;
    }

    SlaveMailbox& mailbox_;
    CommandLog& log_;
    unsigned long received_ = 0;
    bool crashOnAsk_ = false;
};

} // namespace

int main(int argc, char** argv) {
    SlaveMailbox mailbox;

    if (const char* delay = std::getenv("ZOLT_TEST_SLAVE_START_DELAY_MS")) {
        unsigned long ms = 0;
        if (!parseWhole(std::string_view(delay), ms))
            failStart(std::string("ZOLT_TEST_SLAVE_START_DELAY_MS is not a number: ") + delay);
        mailbox.pause(std::chrono::milliseconds(ms));
    }

    CommandLog log;
    if (const char* logPath = std::getenv("ZOLT_TEST_SLAVE_LOG"); logPath && !log.open(logPath))
        failStart(log.lastError());

    if (!mailbox.open(argc > 0 ? argv[0] : nullptr))
        failStart(mailbox.lastError());

    // A slave that dies before it ever looks at the mailbox. It logs its
    // process id, so a test can wait for exactly this process to end.
    if (const char* code = std::getenv("ZOLT_TEST_SLAVE_EXIT_AT_START")) {
        log.record(("exiting " + std::to_string(currentProcessId())).c_str());
        int value = 0;
        std::_Exit(parseWhole(std::string_view(code), value) ? value : kStartFailureExitCode);
    }

    TestSlave(mailbox, log).serve();
    return 0;
}
