// Kwarne_Brivex as a user runs it, compared byte for byte. All cases share the
// object names of the "Brivex" stem, so they never run at the same time.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "loaded_library.h"
#include "slave_folder.h"

namespace zolt_test {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

// Runs `program` in `folder` with the library search path cleared, so only
// the program's own folder is searched.
ProgramRun runIn(const std::string& folder, const std::string& program) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::unsetenv("LD_LIBRARY_PATH");
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    ProgramRun run;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class Driver : public ::testing::Test {
protected:
    std::string driver() const { return binaryFolder() + "/Kwarne_Brivex"; }
    // A copy of the driver alone in the folder: beside it, no library.
    std::string lonelyDriver() const {
        const std::string copy = folder.path() + "/Kwarne_Brivex";
        fs::copy_file(driver(), copy);
        return copy;
    }

    SlaveFolder folder;
};

TEST_F(Driver, WithoutTheLibraryItSaysSoAndNothingElse) {
    const ProgramRun run = runIn(folder.path(), lonelyDriver());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "Error: no DLL\r\n");
}

TEST_F(Driver, WithALibraryLackingAFunctionItNamesTheFunction) {
    const std::string program = lonelyDriver();
    fs::copy_file(binaryFolder() + "/../stub/libZolt.so", folder.path() + "/libZolt.so");
    const ProgramRun run = runIn(folder.path(), program);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "Error: the library has no function ZoltMasterWrite\r\n");
}

TEST_F(Driver, WithoutTheSlaveEveryCallReportsTheChannelUnusable) {
    const ProgramRun run = runIn(folder.path(), driver());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output,
              "Load Brivex, return code=3\r\n"
              "Load configuration, return code=3\r\n"
              "Send frame, return code=3\r\n"
              "End\r\n");
}

TEST_F(Driver, WithTheDemoSlaveEveryCallSucceeds) {
    const fs::path slaveFolder = fs::path(folder.path()) / "Datas/Morva/Brivex";
    fs::create_directories(slaveFolder);
    fs::copy_file(binaryFolder() + "/Brivex", slaveFolder / "Brivex");
    fs::copy_file(binaryFolder() + "/../demo/Kwarne.cfg", fs::path(folder.path()) / "Kwarne.cfg");
    const ProgramRun run = runIn(folder.path(), driver());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output,
              "Load Brivex, return code=0\r\n"
              "Load configuration, return code=0\r\n"
              "Send frame, return code=0\r\n"
              "End\r\n");
}

}  // namespace
}  // namespace zolt_test
