// zolt-objects: lists the Zolt channel objects in /dev/shm with the
// processes using them, and removes those left behind by hosts and slaves
// that ended without cleaning up.
#include <iostream>
#include <string>
#include <string_view>

#include "commands.h"

namespace {

constexpr const char* kUsage =
    "Usage: zolt-objects list\n"
    "       zolt-objects clean [--dry-run] [--all-users] [--ignore-uninspected] [STEM...]\n"
    "       zolt-objects --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "list   Shows every channel mailbox in /dev/shm (a 1025-byte file named STEM + \"SM\")\n"
    "       and its event (sem.STEM + \"EM\"): stem, owner, mode, size, the mailbox's\n"
    "       state byte, and the processes that map or hold each one; \"perhaps\" where\n"
    "       only processes that could not be inspected might (clean keeps those).\n"
    "clean  Removes the objects of every STEM (or of all stems) that no process uses\n"
    "       and that belong to you, and prints each one removed. A stem's mailbox and\n"
    "       event are removed together or not at all.\n"
    "       --dry-run    print what would be removed, remove nothing\n"
    "       --all-users  as root: other users' unused objects too\n"
    "       --ignore-uninspected\n"
    "                    count processes whose maps could not be read (see list) as\n"
    "                    using nothing; otherwise they keep their user's objects\n"
    "\n"
    "Exit status: 0 done; 1 /dev/shm could not be read or a removal failed;\n"
    "2 usage error; 3 a STEM named for clean still has objects (in use or another user's).\n";

int usageError(const std::string& message) {
    std::cerr << "zolt-objects: " << message << "\n" << kUsage;
    return zolt_objects::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usageError("no command given");
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage << kHelp;
        return zolt_objects::kExitDone;
    }
    if (command == "--version") {
        std::cout << "zolt-objects " << ZOLT_VERSION << "\n";
        return zolt_objects::kExitDone;
    }
    if (command == "list") {
        if (argc > 2) return usageError("list takes no arguments");
        return zolt_objects::listObjects(std::cout, std::cerr);
    }
    if (command != "clean") return usageError("unknown command: " + std::string(command));

    zolt_objects::CleanOptions options;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--dry-run") {
            options.dryRun = true;
        } else if (!optionsEnded && argument == "--all-users") {
            options.allUsers = true;
        } else if (!optionsEnded && argument == "--ignore-uninspected") {
            options.ignoreUninspected = true;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option: " + std::string(argument));
        } else {
            options.stems.emplace_back(argument);
        }
    }
    return zolt_objects::cleanObjects(options, std::cout, std::cerr);
}
