// A second host process for the tests, on channel 0 of the slave named on its
// command line. What it does depends on the word after the path:
//   (none)  open, exchange one command, close and exit normally; exit code 0
//           when all three calls succeeded;
//   hang    open, then send "mute", to which the test slave never replies,
//           and wait there to be killed, so the mailbox it leaves behind is
//           still pending;
//   try     open, close again if that worked, and exit with open's status;
//   rest    open, exchange one command, then wait to be killed while the
//           slave rests;
//   quit    open and end at once, without close or exit handlers, with
//           open's status: its slave starts after its host has gone.
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "zolt_loader.h"

namespace {

[[noreturn]] void waitToBeKilled() {
    for (;;) {
#if defined(_WIN32)
        ::Sleep(INFINITE);
#else
        ::pause();
#endif
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 2;
    const std::string mode = argc == 3 ? argv[2] : "";
    zolt_loader::ZoltFunctions zolt;
    std::string ignored;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, zolt, ignored)) return 3;
    using zolt_loader::kClose, zolt_loader::kOpen, zolt_loader::kWrite;
    if (zolt_loader::firstMissing(zolt, kOpen | kWrite | kClose) != nullptr) return 4;
    const auto open = zolt.open;
    const auto write = zolt.write;
    const auto close = zolt.close;
    if (mode == "hang") {
        if (open(0, argv[1]) != ZOLT_OK || write(0, "echo>hi") != ZOLT_OK) return 1;
        write(0, "mute");
        waitToBeKilled();
    }
    if (mode == "rest") {
        if (open(0, argv[1]) != ZOLT_OK || write(0, "echo>hi") != ZOLT_OK) return 1;
        waitToBeKilled();
    }
    if (mode == "try") {
        const int status = open(0, argv[1]);
        if (status == ZOLT_OK) close(0);
        return status;
    }
    if (mode == "quit") std::_Exit(open(0, argv[1]));
    if (!mode.empty()) return 2;
    const bool talked = open(0, argv[1]) == ZOLT_OK && write(0, "echo>hi") == ZOLT_OK && close(0) == ZOLT_OK;
    return talked ? 0 : 1;
}
