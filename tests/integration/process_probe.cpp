#include "process_probe.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace zolt_test {

namespace {

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

int entriesIn(const char* folder) {
    DIR* directory = ::opendir(folder);
    if (directory == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(directory);
    return count;
}

int mappedRegions() {
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(maps, line);) ++count;
    return count;
}

namespace {

// The state letter of /proc/<pid>/stat and the parent's pid; false if there
// is no such process.
bool statusOf(const std::string& pid, char& state, long& parent) {
    std::ifstream statFile("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(statFile, line)) return false;
    // "pid (name) state ppid ...": the name may hold spaces, so start after ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    return static_cast<bool>(rest >> state >> parent);
}

}  // namespace

int zombieChildren() {
    int zombies = 0;
    DIR* proc = ::opendir("/proc");
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        char state = 0;
        long parent = 0;
        if (statusOf(entry->d_name, state, parent) && parent == ::getpid() && state == 'Z') ++zombies;
    }
    ::closedir(proc);
    return zombies;
}

bool waitForZombie(int pid, std::chrono::milliseconds limit) {
    return waitFor(
        [&] {
            char state = 0;
            long parent = 0;
            return statusOf(std::to_string(pid), state, parent) && state == 'Z';
        },
        limit);
}

bool waitForLine(const std::string& path, const std::string& wanted, std::chrono::milliseconds limit) {
    return waitFor(
        [&] {
            std::ifstream file(path);
            for (std::string line; std::getline(file, line);) {
                if (line == wanted) return true;
            }
            return false;
        },
        limit);
}

}  // namespace zolt_test
