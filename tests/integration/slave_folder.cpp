#include "slave_folder.h"

#include <atomic>
#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace zolt_test {

namespace fs = std::filesystem;

SlaveFolder::SlaveFolder() {
    static std::atomic<int> made{0};
    // A folder of its own: on Windows an earlier process of the same id may
    // have left one behind, holding a slave that was still running then.
    fs::path folder;
    do {
        folder = fs::temp_directory_path() /
                 ("zolt-test-" + std::to_string(currentProcessId()) + "-" + std::to_string(made++));
    } while (!fs::create_directory(folder));
    folder_ = folder.string();
}

SlaveFolder::~SlaveFolder() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string SlaveFolder::newSlave() { return newSlaveFrom("TestSlave"); }

std::string SlaveFolder::newSlaveFrom(const std::string& programName, const std::string& buildFolder) {
    const std::string path = pathOf(uniqueName() + kProgramSuffix);
    placeProgram(programName, path, buildFolder);
    return path;
}

std::string SlaveFolder::uniqueName() {
    // Counted per process: names stay in use until the process exits.
    static std::atomic<int> made{0};
    return "Slave" + std::to_string(currentProcessId()) + "n" + std::to_string(made++);
}

void SlaveFolder::placeProgram(const std::string& programName, const std::string& path,
                               const std::string& buildFolder) {
    const std::string program = buildFolder + kSeparator + programName + kProgramSuffix;
    fs::create_directories(fs::path(path).parent_path());
#if defined(_WIN32)
    fs::copy_file(program, path);
#else
    fs::create_symlink(program, path);
#endif
}

std::string SlaveFolder::stemOf(const std::string& slavePath) {
    const std::string fileName = slavePath.substr(slavePath.rfind(kSeparator) + 1);
    return fileName.substr(0, fileName.size() - std::char_traits<char>::length(kProgramSuffix));
}

#if !defined(_WIN32)
namespace {

int modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

}  // namespace

bool mailboxExists(const std::string& stem) { return mailboxMode(stem) >= 0; }
bool eventExists(const std::string& stem) { return eventMode(stem) >= 0; }
int mailboxMode(const std::string& stem) { return modeOf("/dev/shm/" + stem + "SM"); }
int eventMode(const std::string& stem) { return modeOf("/dev/shm/sem." + stem + "EM"); }
#endif

}  // namespace zolt_test
