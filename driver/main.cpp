// Kwarne_Brivex: runs one fixed sequence on channel 0 of the Zolt library and
// prints the status of the open and of each command.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "demo_platform.h"
#include "zolt_loader.h"

namespace {

void say(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void sayStatus(const char* format, int8_t status) {
    std::printf(format, static_cast<int>(status));
    std::fflush(stdout);
}

}  // namespace

int main() {
    driver::useBinaryStandardOutput();

    zolt_loader::ZoltFunctions zolt;
    std::string ignored;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, zolt, ignored)) {
        say("Error: no DLL\r\n");
        return 0;
    }
    // The driver calls only these three.
    if (const char* missing = zolt_loader::firstMissing(zolt, zolt_loader::kOpen | zolt_loader::kWrite |
                                                                  zolt_loader::kClose)) {
        std::printf("Error: the library has no function %s\r\n", missing);
        return 0;
    }

    sayStatus("Load Brivex, return code=%d\r\n", zolt.open(0, driver::kSlavePath));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sayStatus("Load configuration, return code=%d\r\n", zolt.write(0, "LoadConfiguration>Kwarne.cfg"));
    sayStatus("Send frame, return code=%d\r\n", zolt.write(0, "SendF>Frame ASK"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    zolt.close(0);
    say("End\r\n");
    // The library stays loaded until the process ends.
    return 0;
}
