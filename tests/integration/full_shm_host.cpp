// A host for a private mount namespace whose /dev/shm is a tiny tmpfs that
// this program fills: opening a channel then must yield status 1, a kit slave
// must refuse a mailbox without pages, and once there is room again the same
// path must open and serve. Run by the faults test through unshare. Exit code
// 0 when all went as expected, else the number of the step that did not.
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <semaphore.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "zolt_loader.h"
#include "zolt_protocol.h"

extern char** environ;

namespace {

constexpr char kFiller[] = "/dev/shm/filler";

// Writes until the file system has no page left.
bool fill() {
    const int file = ::open(kFiller, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (file < 0) return false;
    char block[4096] = {};
    while (::write(file, block, sizeof block) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(file);
    return full;
}

// A mailbox of the right size without a single page, as a host that only
// truncated it would leave, and the event beside it.
bool makeSparseObjects(const std::string& stem) {
    const int memory = ::shm_open(("/" + stem + ZOLT_MAILBOX_SUFFIX).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (memory < 0) return false;
    const bool sized = ::ftruncate(memory, ZOLT_MAILBOX_SIZE) == 0;
    ::close(memory);
    sem_t* event = ::sem_open(("/" + stem + ZOLT_EVENT_SUFFIX).c_str(), O_CREAT | O_EXCL, 0600, 0U);
    if (event == SEM_FAILED) return false;
    ::sem_close(event);
    return sized;
}

// Runs the slave by hand; its exit code, or -1 when a signal ended it.
int runSlave(const std::string& path) {
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, arguments, environ) != 0) return -2;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 100;
    const std::string slave = argv[1];
    const std::string stem = slave.substr(slave.rfind('/') + 1);
    zolt_loader::ZoltFunctions zolt;
    std::string ignored;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, zolt, ignored)) return 101;

    if (!fill()) return 102;
    // A new mailbox finds no room.
    if (zolt.open(0, slave.c_str()) != ZOLT_OPEN_SHARED_MEMORY_FAILED) return 1;
    if (::access(("/dev/shm/" + stem + ZOLT_MAILBOX_SUFFIX).c_str(), F_OK) == 0) return 2;

    // Nor does one that exists without pages, in the library or in the kit.
    if (::unlink(kFiller) != 0 || !makeSparseObjects(stem) || !fill()) return 103;
    if (zolt.open(0, slave.c_str()) != ZOLT_OPEN_SHARED_MEMORY_FAILED) return 3;
    const int slaveExit = runSlave(slave);
    if (slaveExit < 0) return 4;

    // With room again, the same path opens and serves.
    if (::unlink(kFiller) != 0) return 104;
    if (zolt.open(0, slave.c_str()) != ZOLT_OK) return 5;
    if (zolt.write(0, "echo>room again") != ZOLT_OK || std::strcmp(zolt.read(0), "room again") != 0) return 6;
    if (zolt.close(0) != ZOLT_OK) return 7;
    return 0;
}
