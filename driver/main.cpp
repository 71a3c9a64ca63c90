// Kwarne_Brivex: runs one fixed sequence on channel 0 of the Zolt library and
// prints the status of the open and of each command.
#include <chrono>
#include <cstdio>
#include <thread>

#include "shared_library.h"
#include "zolt.h"

namespace {

void say(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void sayStatus(const char* format, int8_t status) {
    std::printf(format, static_cast<int>(status));
    std::fflush(stdout);
}

template <typename Function>
bool bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(driver::findFunction(library, name));
    if (function != nullptr) return true;
    std::printf("Error: the library has no function %s\r\n", name);
    return false;
}

}  // namespace

int main() {
    driver::useBinaryStandardOutput();

    void* library = driver::loadLibrary(driver::kZoltLibraryName);
    if (library == nullptr) {
        say("Error: no DLL\r\n");
        return 0;
    }

    decltype(&ZoltMasterOpen) open = nullptr;
    decltype(&ZoltMasterWrite) write = nullptr;
    decltype(&ZoltMasterClose) close = nullptr;
    if (!bind(library, "ZoltMasterOpen", open) || !bind(library, "ZoltMasterWrite", write) ||
        !bind(library, "ZoltMasterClose", close)) {
        return 0;
    }

    sayStatus("Load Brivex, return code=%d\r\n", open(0, driver::kSlavePath));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sayStatus("Load configuration, return code=%d\r\n", write(0, "LoadConfiguration>Kwarne.cfg"));
    sayStatus("Send frame, return code=%d\r\n", write(0, "SendF>Frame ASK"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    close(0);
    say("End\r\n");
    // The library stays loaded until the process ends.
    return 0;
}
