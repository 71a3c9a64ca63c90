// Brivex: the demo slave. Loads a device configuration and accepts frames,
// telling the host about each sent frame through a notification.

#include "configuration.h"
#include "notification_queue.h"
#include "slave_mailbox.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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

// Holds the queue in static storage: it is about a mebibyte.
NotificationQueue notifications;

class Brivex {
public:
    explicit Brivex(SlaveMailbox& mailbox) : mailbox_(mailbox) {}

    // Returns only after "Close" has been answered.
    void serve() {
        for (;;) {
            const std::string_view command = mailbox_.waitForCommand();
            if (command == "Close") {
                mailbox_.reply("Brivex closed");
                return;
            }
            handle(command);
        }
    }

private:
    void handle(std::string_view command) {
        std::string_view arg;
        if (command == "Ask") {
            const char* next = notifications.pop();
            mailbox_.reply(next ? next : "(nothing)");
        } else if (takePrefix(command, "LoadConfiguration>", arg)) {
            loadConfiguration(std::string(arg));
        } else if (takePrefix(command, "SendF>", arg)) {
            sendFrame(arg);
        } else {
            reply("Error: unknown command: " + std::string(command));
        }
    }

    void loadConfiguration(const std::string& fileName) {
        if (fileName.empty())
            return reply("Error: LoadConfiguration needs a file name");
        // The file lives in the host's current directory, never elsewhere.
        if (fileName.find('/') != std::string::npos)
            return reply("Error: configuration file name must not name a folder: " + fileName);
        std::string error;
        if (!brivex::readConfiguration(fileName, settings_, error))
            return reply("Error: " + error);
        const std::size_t count = settings_.size();
        reply("Configuration " + fileName + " loaded: " + std::to_string(count)
              + (count == 1 ? " setting" : " settings"));
    }

    void sendFrame(std::string_view frame) {
        reply("Frame accepted: " + std::string(frame));
        // Signal only after replying: the host reads notifications through
        // the same mailbox, which must be free by then. A full queue already
        // has a signal pending for each entry, so a dropped one needs none.
        if (notifications.push(("Frame sent: " + std::string(frame)).c_str()))
            mailbox_.signal();
    }

    void reply(const std::string& text) { mailbox_.reply(text.c_str()); }

    SlaveMailbox& mailbox_;
    std::vector<brivex::Setting> settings_;
};

} // namespace

int main(int argc, char** argv) {
    SlaveMailbox mailbox;
    if (!mailbox.open(argc > 0 ? argv[0] : nullptr)) {
        std::fprintf(stderr, "Brivex: %s\n", mailbox.lastError().c_str());
        return kStartFailureExitCode;
    }
    Brivex(mailbox).serve();
    return 0;
}
