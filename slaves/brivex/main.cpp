// Brivex: the demo slave. Loads a device configuration and accepts frames,
// telling the host about each sent frame through a notification. Built on
// the slave kit alone (zolt_slave.h), as any slave can be.

#include "configuration.h"
#include "command_prefix.h"
#include "zolt_slave.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

using zolt_slave::takePrefix;

constexpr int kStartFailureExitCode = 2;
constexpr std::size_t kQueueCapacity = 1024;
// What lets a file name reach another folder: on Windows either slash, and
// the colon of a drive ("C:x.cfg" is relative to that drive's folder).
#if defined(_WIN32)
constexpr std::string_view kFolderCharacters = "/\\:";
#else
constexpr std::string_view kFolderCharacters = "/";
#endif

// Static storage: about a mebibyte.
char waiting[kQueueCapacity][ZOLT_TEXT_CAPACITY];

class Brivex {
public:
    explicit Brivex(ZoltSlave& slave) : slave_(slave) {
        zolt_slave_queue_init(&notifications_, waiting, kQueueCapacity);
    }

    // Returns after "Close" has been answered, or once the host has gone.
    void serve() {
        while (const char* next = zolt_slave_wait(&slave_)) {
            const std::string_view command = next;
            if (command == ZOLT_COMMAND_CLOSE) {
                zolt_slave_reply(&slave_, "Brivex closed");
                return;
            }
            handle(command);
        }
    }

private:
    void handle(std::string_view command) {
        std::string_view arg;
        if (command == ZOLT_COMMAND_ASK) {
            zolt_slave_answer_ask(&slave_, &notifications_);
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
        if (fileName.find_first_of(kFolderCharacters) != std::string::npos)
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
        // A full queue drops the notification: the host is not asking.
        zolt_slave_notify(&slave_, &notifications_, ("Frame sent: " + std::string(frame)).c_str());
    }

    void reply(const std::string& text) { zolt_slave_reply(&slave_, text.c_str()); }

    ZoltSlave& slave_;
    ZoltSlaveQueue notifications_{};
    std::vector<brivex::Setting> settings_;
};

} // namespace

int main(int argc, char** argv) {
    ZoltSlave slave;
    if (zolt_slave_open(&slave, argc > 0 ? argv[0] : nullptr) != 0) {
        std::fprintf(stderr, "Brivex: %s\n", slave.error);
        return kStartFailureExitCode;
    }
    Brivex(slave).serve();
    zolt_slave_close(&slave);
    return 0;
}
