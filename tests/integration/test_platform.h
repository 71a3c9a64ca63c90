// The few things the integration tests need from the system, on Linux and on
// Windows alike.
#pragma once

#include <string>

#include "zolt_loader.h"

namespace zolt_test {

#if defined(_WIN32)
inline constexpr char kSeparator = '\\';
inline constexpr const char* kProgramSuffix = ".exe";
inline constexpr const char* kLibraryFile = "Zolt.dll";
#else
inline constexpr char kSeparator = '/';
inline constexpr const char* kProgramSuffix = "";
inline constexpr const char* kLibraryFile = "libZolt.so";
#endif

// The folder that holds this test program, the library and the slaves.
inline std::string binaryFolder() { return zolt_loader::programFolder(); }
// A program of the build, by its name without suffix.
inline std::string programInBuild(const std::string& name) {
    return binaryFolder() + kSeparator + name + kProgramSuffix;
}

// Set for the slaves that this process starts from now on.
void setEnvironment(const char* name, const char* value);
void clearEnvironment(const char* name);

// Signals the named event of a stem, as its slave would.
bool signalEvent(const std::string& stem, int times);

int currentProcessId();

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // standard output, byte for byte
};
// Runs `program` in `folder` and collects what it prints. On Linux the
// library search path is cleared, so only the program's own folder counts.
ProgramRun runProgram(const std::string& program, const std::string& folder);

#if defined(_WIN32)
// A program started with CreateProcessA and exactly the command line given.
// ZoltMasterOpen passes none, and Windows then makes the application path
// itself the command line, unquoted; Wine quotes it. Ended when dropped, if
// still running.
class StartedProgram {
public:
    StartedProgram(const std::string& program, std::string commandLine, const std::string& folder);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool started() const { return process_ != nullptr; }
    // The exit code once the program has ended, waiting up to `milliseconds`;
    // -1 while it still runs.
    long exitCode(unsigned long milliseconds);

private:
    void* process_ = nullptr;
};
#endif

}  // namespace zolt_test
