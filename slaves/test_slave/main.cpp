// A slave the tests script through its commands, including ways to misbehave.

#include "command_log.h"
#include "notification_queue.h"
#include "slave_mailbox.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kStartFailureExitCode = 2;

using zolt_slave::NotificationQueue;
using zolt_slave::SlaveMailbox;

bool takePrefix(std::string_view command, std::string_view prefix, std::string_view& rest) {
    if (!command.starts_with(prefix))
        return false;
    rest = command.substr(prefix.size());
    return true;
}

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

[[noreturn]] void failStart(const std::string& message) {
    std::fprintf(stderr, "TestSlave: %s\n", message.c_str());
    std::exit(kStartFailureExitCode);
}

// Holds the queue in static storage: it is about a mebibyte.
NotificationQueue notifications;

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
        if (command == "Close") {
            mailbox_.reply("Bye");
            return false;
        }
        if (command == "Ask") {
            const char* next = notifications.pop();
            mailbox_.reply(next ? next : "(nothing)");
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
        } else if (command == "nonul") {
            mailbox_.replyWithoutNul();
        } else if (takePrefix(command, "notify>", arg)) {
            mailbox_.reply(notifications.push(arg.data()) ? "queued" : "full");
        } else if (takePrefix(command, "signal>", arg)) {
            unsigned long times = 0;
            if (!parseWhole(arg, times))
                return replyBad(command);
            mailbox_.reply("signalled");
            for (unsigned long i = 0; i < times; ++i)
                mailbox_.signal();
        } else if (takePrefix(command, "push>", arg)) {
            if (!notifications.push(arg.data())) {
                mailbox_.reply("full");
            } else {
                mailbox_.reply("pushed");
                mailbox_.signal();
            }
        } else if (command == "count") {
            mailbox_.reply(std::to_string(received_).c_str());
        } else {
            mailbox_.reply(("ok:" + std::string(command)).c_str());
        }
        return true;
    }

    bool replyBad(std::string_view command) {
        mailbox_.reply(("bad:" + std::string(command)).c_str());
        return true;
    }

    SlaveMailbox& mailbox_;
    CommandLog& log_;
    unsigned long received_ = 0;
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

    TestSlave(mailbox, log).serve();
    return 0;
}
