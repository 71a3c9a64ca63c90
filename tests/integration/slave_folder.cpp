#include "slave_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "loaded_library.h"

namespace zolt_test {

namespace {

int modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

}  // namespace

SlaveFolder::SlaveFolder() {
    char pattern[] = "/tmp/zolt-test-XXXXXX";
    folder_ = ::mkdtemp(pattern);
}

SlaveFolder::~SlaveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string SlaveFolder::newSlave() { return newLinkTo(binaryFolder() + "/TestSlave"); }

std::string SlaveFolder::newLinkTo(const std::string& program) {
    // Counted per process: names stay in use until the process exits.
    static std::atomic<int> made{0};
    const std::string path = folder_ + "/Slave" + std::to_string(::getpid()) + "n" + std::to_string(made++);
    std::filesystem::create_symlink(program, path);
    return path;
}

std::string SlaveFolder::stemOf(const std::string& slavePath) { return slavePath.substr(slavePath.rfind('/') + 1); }

bool mailboxExists(const std::string& stem) { return mailboxMode(stem) >= 0; }
bool eventExists(const std::string& stem) { return eventMode(stem) >= 0; }
int mailboxMode(const std::string& stem) { return modeOf("/dev/shm/" + stem + "SM"); }
int eventMode(const std::string& stem) { return modeOf("/dev/shm/sem." + stem + "EM"); }

}  // namespace zolt_test
