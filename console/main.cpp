// zolt-console: opens one channel of the Zolt library to a slave, sends it the
// commands typed or piped in, one per line, and prints each status with its
// meaning, each reply and each notification.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "line_source.h"
#include "platform.h"
#include "status_words.h"
#include "zolt_loader.h"
#include "zolt_protocol.h"

namespace {

using console::Call;
using console::describe;
using console::printLine;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultWaitSeconds = 5;

const char* const kUsage =
    "Usage: zolt-console [--library FILE] PATH-TO-SLAVE [CHANNEL]\n"
    "       zolt-console --version\n"
    "\n"
    "Opens CHANNEL (0 to 7, default 0) of the Zolt library to the slave program\n"
    "at PATH-TO-SLAVE, then sends each line of standard input to the slave as one\n"
    "command. For each command it prints one line: the status of ZoltMasterWrite\n"
    "with its meaning and, if the slave answered, the reply (its line ends\n"
    "shown as \\n and \\r):\n"
    "\n"
    "  write 0 (reply received): Frame accepted: ABC\n"
    "  write 4 (the slave did not reply in time)\n"
    "\n"
    "Notifications of the slave are printed as they arrive:\n"
    "\n"
    "  notification: Frame sent: ABC\n"
    "\n"
    "The end of input, the line " ZOLT_COMMAND_CLOSE ", /quit or Ctrl-C closes the channel\n"
    "(ZoltMasterClose) and ends the console. Empty lines are skipped. Lines that\n"
    "start with / are for the console itself:\n"
    "\n"
    "  /wait [SECONDS]  wait for a notification not yet waited for (default 5 s)\n"
    "  /sleep MS        pause, letting notifications arrive\n"
    "  /quit            close the channel and end\n"
    "  /help            list these\n"
    "  //TEXT           send /TEXT to the slave\n"
    "\n"
    "At a terminal the console shows a prompt, and edits lines if it was built\n"
    "with libedit. The library is loaded at run time, by default as %s\n"
    "from the console's own folder, the library folder beside it, or the system's\n"
    "search path; --library FILE loads FILE instead.\n"
    "\n"
    "Exit status: 0 if the channel opened and closed cleanly, 1 if the library\n"
    "could not be used or the open or the close failed, 2 for a usage error.\n";

const char* const kDirectives =
    "/wait [SECONDS]  wait for a notification not yet waited for (default 5 s)\n"
    "/sleep MS        pause, letting notifications arrive\n"
    "/quit            close the channel and end\n"
    "//TEXT           send /TEXT to the slave";

struct Options {
    const char* library = nullptr;
    const char* slavePath = nullptr;
    std::int8_t channel = 0;
};

void sayError(const std::string& sentence) { std::fprintf(stderr, "zolt-console: %s\n", sentence.c_str()); }

// Whole decimal numbers only: "1x" or "" are not numbers.
bool parseNumber(const char* text, long low, long high, long& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

// Returns 0 to go on, otherwise the exit status.
int parseOptions(int argc, char** argv, Options& options) {
    const char* channel = nullptr;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && (argument == "-h" || argument == "--help")) {
            std::printf(kUsage, zolt_loader::kLibraryFileName);
            return -1;
        }
        if (!optionsEnded && argument == "--version") {
            std::printf("zolt-console %s\n", ZOLT_VERSION);
            return -1;
        }
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--library") {
            if (++i == argc) {
                sayError("--library needs a file name.");
                return kExitUsage;
            }
            options.library = argv[i];
        } else if (!optionsEnded && argument.rfind("--library=", 0) == 0) {
            options.library = argv[i] + std::strlen("--library=");
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            sayError("unknown option " + argument + "; --help explains the usage.");
            return kExitUsage;
        } else if (options.slavePath == nullptr) {
            options.slavePath = argv[i];
        } else if (channel == nullptr) {
            channel = argv[i];
        } else {
            sayError("too many arguments; --help explains the usage.");
            return kExitUsage;
        }
    }
    if (options.slavePath == nullptr) {
        std::fprintf(stderr, kUsage, zolt_loader::kLibraryFileName);
        return kExitUsage;
    }
    long number = 0;
    if (channel != nullptr) {
        if (!parseNumber(channel, 0, ZOLT_CHANNEL_COUNT - 1, number)) {
            sayError(std::string("the channel must be a number from 0 to 7, not \"") + channel + "\".");
            return kExitUsage;
        }
        options.channel = static_cast<std::int8_t>(number);
    }
    return 0;
}

bool loadFunctions(const char* libraryName, zolt_loader::ZoltFunctions& api) {
    std::string error;
    if (!zolt_loader::load(libraryName, api, error)) {
        sayError(std::string("cannot load the library ") + libraryName + " (" + error +
                 "). Without --library it is looked for beside the console, in the library folder, and on the "
                 "system's search path.");
        return false;
    }
    if (const char* missing = zolt_loader::firstMissing(api)) {
        sayError(std::string("the library ") + libraryName + " has no function " + missing + ".");
        return false;
    }
    return true;
}

// The stem names the slave in the prompt, as it names its mailbox. A path
// the rule refuses is shown whole: the open refuses it too.
std::string stemOf(const char* path) {
    const char* stem = nullptr;
    std::size_t length = 0;
    if (zolt_find_stem(path, ZOLT_PATH_SEPARATOR, &stem, &length) == 0) return path;
    return std::string(stem, length);
}

// Keeps a result on one line: line ends inside a reply show as \n and \r.
std::string oneLine(const char* text) {
    std::string line;
    for (; *text != '\0'; ++text) {
        if (*text == '\n') line += "\\n";
        else if (*text == '\r') line += "\\r";
        else line += *text;
    }
    return line;
}

// What the poller's callback hands over, and waiting for it.
class Notifications {
public:
    void deliver(const char* text) {
        if (source_ != nullptr) source_->show("notification: " + oneLine(text));
        {
            std::lock_guard lock(lock_);
            ++delivered_;
        }
        arrived_.notify_all();
    }

    // True once a notification has arrived that no earlier wait counted.
    // Ctrl-C ends the wait too.
    bool waitForNew(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(lock_);
        bool arrived = delivered_ > counted_;
        for (auto now = std::chrono::steady_clock::now(); !arrived && now < end && !console::interrupted();
             now = std::chrono::steady_clock::now()) {
            const auto slice = std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50));
            arrived = arrived_.wait_for(lock, slice, [this] { return delivered_ > counted_; });
        }
        counted_ = delivered_;
        return arrived;
    }

    void showThrough(console::LineSource* source) { source_ = source; }

private:
    console::LineSource* source_ = nullptr;
    std::mutex lock_;
    std::condition_variable arrived_;
    unsigned long delivered_ = 0;
    unsigned long counted_ = 0;
};

zolt_loader::ZoltFunctions api;
std::int8_t channel = 0;
Notifications notifications;

// On the channel's poller thread, with the channel held: Read yields the
// notification itself.
void ZOLT_CALL onNotification() { notifications.deliver(api.read(channel)); }

void sleepUnlessInterrupted(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!console::interrupted() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Runs a line that starts with a single '/'. False for /quit.
bool runDirective(const std::string& line) {
    const std::string name = line.substr(0, line.find(' '));
    const auto start = line.find_first_not_of(' ', name.size());
    const std::string argument = start == std::string::npos ? "" : line.substr(start);
    long number = 0;
    if (name == "/quit") return false;
    if (name == "/help") {
        printLine(kDirectives);
    } else if (name == "/wait") {
        if (argument.empty()) number = kDefaultWaitSeconds;
        else if (!parseNumber(argument.c_str(), 0, 3600, number)) {
            sayError("/wait takes a number of seconds from 0 to 3600, not \"" + argument + "\".");
            return true;
        }
        if (!notifications.waitForNew(std::chrono::seconds(number)))
            printLine("wait: no notification within " + std::to_string(number) + " s");
    } else if (name == "/sleep") {
        if (!parseNumber(argument.c_str(), 0, 3600000, number)) {
            sayError("/sleep takes a number of milliseconds, not \"" + argument + "\".");
            return true;
        }
        sleepUnlessInterrupted(std::chrono::milliseconds(number));
    } else {
        sayError("there is no console command " + name + "; /help lists them, and //TEXT sends /TEXT.");
    }
    return true;
}

void send(const std::string& command) {
    const std::int8_t status = api.write(channel, command.c_str());
    // Read right away: a notification asked for after this would replace
    // the reply.
    const std::string reply = status == ZOLT_OK ? oneLine(api.read(channel)) : std::string();
    printLine(status == ZOLT_OK ? describe(Call::Write, status) + ": " + reply : describe(Call::Write, status));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int exit = parseOptions(argc, argv, options); exit != 0) return exit < 0 ? 0 : exit;
    channel = options.channel;
    const char* libraryName = options.library != nullptr ? options.library : zolt_loader::kLibraryFileName;
    if (!loadFunctions(libraryName, api)) return kExitFailure;

    const bool terminal = console::standardInputIsTerminal();
    const std::string prompt = stemOf(options.slavePath) + ":" + std::to_string(channel) + "> ";
    std::unique_ptr<console::LineSource> source;
    if (terminal) source = console::editorSource(prompt);
    if (source == nullptr) source = console::plainSource(terminal ? prompt : "");
    notifications.showThrough(source.get());

    console::ignoreInterrupt();
    console::clearSystemError();
    const std::int8_t opened = api.open(channel, options.slavePath);
    const std::string reason = console::lastSystemError();
    console::catchInterrupt();
    if (opened != ZOLT_OK) {
        // The system's reason means something only where a system call failed.
        const bool systemFailure = opened != ZOLT_OPEN_ALREADY_OPEN && opened != ZOLT_OPEN_NO_POLLER &&
                                   opened != ZOLT_OPEN_STEM_IN_USE;
        sayError("cannot open channel " + std::to_string(channel) + " to " + options.slavePath + ": status " +
                 std::to_string(opened) + ", " + console::meaningOf(Call::Open, opened) +
                 (systemFailure && !reason.empty() ? ": " + reason : std::string()) + ".");
        return kExitFailure;
    }
    // The channel named, since the number after "open" is the status.
    printLine("open " + std::to_string(opened) + " (channel " + std::to_string(channel) + " open, slave started)");
    if (const std::int8_t status = api.event(channel, onNotification); status != ZOLT_OK)
        sayError("notifications will not be shown: ZoltMasterEvent gave status " + std::to_string(status) + ", " +
                 console::meaningOf(Call::Event, status) + ".");
    if (terminal)
        printLine("Type commands for " + stemOf(options.slavePath) +
                  ", one per line. /help lists the console's own; Ctrl-D or " ZOLT_COMMAND_CLOSE " ends.");

    std::string line;
    while (source->next(line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const bool forConsole = line[0] == '/' && line.compare(0, 2, "//") != 0;
        if (forConsole) {
            if (!runDirective(line)) break;
            continue;
        }
        const std::string command = line[0] == '/' ? line.substr(1) : line;
        // Close is the channel's last command: ZoltMasterClose sends it.
        if (command == ZOLT_COMMAND_CLOSE) break;
        send(command);
        if (console::interrupted()) break;
    }

    const std::int8_t closed = api.close(channel);
    printLine(closed == ZOLT_OK ? describe(Call::Close, closed) + ": " + oneLine(api.read(channel))
                                : describe(Call::Close, closed));
    // Close also cleared the callback: nothing prints through the source now.
    notifications.showThrough(nullptr);
    if (closed != ZOLT_OK) {
        sayError("closing channel " + std::to_string(channel) + " failed: status " + std::to_string(closed) + ", " +
                 console::meaningOf(Call::Close, closed) + ".");
        return kExitFailure;
    }
    return 0;
}
