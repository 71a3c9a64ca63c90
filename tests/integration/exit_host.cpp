// A minimal host: opens channel 0 to the slave named on its command line,
// exchanges one command, closes and exits normally. Exit code 0 when all
// three calls succeeded.
//
// With "hang" after the slave's path it never closes: it sends "mute", to
// which the test slave never replies, and waits there to be killed, so the
// mailbox it leaves behind is still pending.
#include <unistd.h>

#include <cstring>
#include <string>

#include "zolt_loader.h"

int main(int argc, char** argv) {
    const bool hang = argc == 3 && std::strcmp(argv[2], "hang") == 0;
    if (argc != 2 && !hang) return 2;
    zolt_loader::ZoltFunctions zolt;
    std::string ignored;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, zolt, ignored)) return 3;
    using zolt_loader::kClose, zolt_loader::kOpen, zolt_loader::kWrite;
    if (zolt_loader::firstMissing(zolt, kOpen | kWrite | kClose) != nullptr) return 4;
    const auto open = zolt.open;
    const auto write = zolt.write;
    const auto close = zolt.close;
    if (hang) {
        if (open(0, argv[1]) != ZOLT_OK || write(0, "echo>hi") != ZOLT_OK) return 1;
        write(0, "mute");
        for (;;) ::pause();
    }
    const bool talked = open(0, argv[1]) == ZOLT_OK && write(0, "echo>hi") == ZOLT_OK && close(0) == ZOLT_OK;
    return talked ? 0 : 1;
}
