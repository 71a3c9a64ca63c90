// A minimal host: opens channel 0 to the slave named on its command line,
// exchanges one command, closes and exits normally. Exit code 0 when all
// three calls succeeded.
//
// With "hang" after the slave's path it never closes: it sends "mute", to
// which the test slave never replies, and waits there to be killed, so the
// mailbox it leaves behind is still pending.
#include <dlfcn.h>
#include <unistd.h>

#include <cstring>

#include "zolt.h"

int main(int argc, char** argv) {
    const bool hang = argc == 3 && std::strcmp(argv[2], "hang") == 0;
    if (argc != 2 && !hang) return 2;
    void* library = ::dlopen("libZolt.so", RTLD_NOW);
    if (library == nullptr) return 3;
    auto open = reinterpret_cast<decltype(&ZoltMasterOpen)>(::dlsym(library, "ZoltMasterOpen"));
    auto write = reinterpret_cast<decltype(&ZoltMasterWrite)>(::dlsym(library, "ZoltMasterWrite"));
    auto close = reinterpret_cast<decltype(&ZoltMasterClose)>(::dlsym(library, "ZoltMasterClose"));
    if (open == nullptr || write == nullptr || close == nullptr) return 4;
    if (hang) {
        if (open(0, argv[1]) != ZOLT_OK || write(0, "echo>hi") != ZOLT_OK) return 1;
        write(0, "mute");
        for (;;) ::pause();
    }
    const bool talked = open(0, argv[1]) == ZOLT_OK && write(0, "echo>hi") == ZOLT_OK && close(0) == ZOLT_OK;
    return talked ? 0 : 1;
}
