// Programs that cannot be started: status 3 and, in errno, the system's own
// reason, whatever runs the child (a kernel's vfork, or an emulator's fork).
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "channel_fixture.h"

namespace zolt_test {
namespace {

namespace fs = std::filesystem;

using StartFailure = ChannelTest;

// A file of `text` with the permission bits `mode`, under a unique name.
std::string fileIn(SlaveFolder& slaves, const std::string& text, fs::perms mode) {
    const std::string path = slaves.pathOf(SlaveFolder::uniqueName());
    std::ofstream(path) << text;
    fs::permissions(path, mode);
    return path;
}

TEST_F(StartFailure, EachUnstartableProgramYieldsThreeWithTheSystemsReason) {
    const fs::perms readable = fs::perms::owner_read | fs::perms::owner_write;
    const fs::perms runnable = readable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    // Root may run any file with an execute bit, but none without one.
    const std::string noExecuteBit = fileIn(slaves, "#!/bin/sh\nexit 0\n", readable);
    const std::string folder = slaves.pathOf(SlaveFolder::uniqueName());
    fs::create_directory(folder);
    const std::string scriptWithoutInterpreter = fileIn(slaves, "echo started\n", runnable);
    const struct {
        const char* what;
        std::string path;
        int error;
    } cases[] = {
        {"missing", slaves.pathOf(SlaveFolder::uniqueName()), ENOENT},
        {"bare name, not in the current folder", SlaveFolder::uniqueName(), ENOENT},
        {"no execute bit", noExecuteBit, EACCES},
        {"folder", folder, EACCES},
        {"script without #!", scriptWithoutInterpreter, ENOEXEC},
    };
    for (const auto& start : cases) {
        errno = 0;
        const std::int8_t status = api.open(5, start.path.c_str());
        const int error = errno;
        EXPECT_EQ(status, ZOLT_OPEN_START_FAILED) << start.what;
        EXPECT_EQ(error, start.error) << start.what << ": " << std::strerror(error);
        EXPECT_EQ(write(5, "echo>x"), ZOLT_WRITE_NOT_OPEN) << start.what;
        EXPECT_EQ(api.close(5), ZOLT_WRITE_NOT_OPEN);
    }
    // The channel opens afterwards as ever.
    openSlave(5);
    EXPECT_EQ(write(5, "echo>started"), ZOLT_OK);
}

}  // namespace
}  // namespace zolt_test
