#include "process_probe.h"

#include <dirent.h>
#include <linux/futex.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace zolt_test {

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

// Children of this process for which `counts` holds, given their state letter.
template <typename Counts>
int childrenWhere(Counts counts) {
    int children = 0;
    DIR* proc = ::opendir("/proc");
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        char state = 0;
        long parent = 0;
        if (statusOf(entry->d_name, state, parent) && parent == ::getpid() && counts(state)) ++children;
    }
    ::closedir(proc);
    return children;
}

}  // namespace

int zombieChildren() {
    return childrenWhere([](char state) { return state == 'Z'; });
}

bool waitUntilChildrenHaveEnded(std::chrono::milliseconds limit) {
    return waitFor([] { return childrenWhere([](char state) { return state != 'Z'; }) == 0; }, limit);
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

double cpuSecondsOf(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return -1;
    // The command name may hold spaces and parentheses: count fields from
    // its closing parenthesis. utime and stime are fields 14 and 15.
    const std::size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return -1;
    std::istringstream fields(line.substr(nameEnd + 2));
    std::string field;
    for (int number = 3; number < 14; ++number) fields >> field;
    long long user = 0;
    long long system = 0;
    if (!(fields >> user >> system)) return -1;
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

namespace {

long switchesIn(const std::string& statusFile) {
    std::ifstream status(statusFile);
    long total = -1;
    for (std::string line; std::getline(status, line);) {
        if (line.find("ctxt_switches:") == std::string::npos) continue;
        total = (total < 0 ? 0 : total) + std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

}  // namespace

bool waitUntilInFutexWait(int pid, std::chrono::milliseconds limit) {
    return waitFor(
        [&] {
            std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
            std::string where;
            return std::getline(wchan, where) && where.find("futex") != std::string::npos;
        },
        limit);
}

FutexWait futexWaitOf(int threadId) {
    const std::string task = "/proc/self/task/" + std::to_string(threadId);
    std::ifstream wchan(task + "/wchan");
    std::string where;
    if (!std::getline(wchan, where) || where.find("futex") == std::string::npos) return FutexWait::none;
    // "number address operation ...": the syscall's number is the host's
    // under an emulator, so only the operation is read. "running" if the
    // thread woke meanwhile.
    std::ifstream syscall(task + "/syscall");
    long number = 0;
    unsigned long address = 0;
    unsigned long operation = 0;
    if (!(syscall >> number >> std::hex >> address >> operation)) return FutexWait::none;
    return (operation & FUTEX_PRIVATE_FLAG) != 0 ? FutexWait::processPrivate : FutexWait::shared;
}

std::vector<int> threadsWaitingOnSharedFutexes() {
    std::vector<int> waiting;
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) return waiting;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const int task = std::atoi(entry->d_name);
        if (futexWaitOf(task) == FutexWait::shared) waiting.push_back(task);
    }
    ::closedir(tasks);
    return waiting;
}

bool waitUntilOtherThreadsBlock(std::chrono::milliseconds limit) {
    const int self = static_cast<int>(::gettid());
    return waitFor(
        [&] {
            DIR* tasks = ::opendir("/proc/self/task");
            if (tasks == nullptr) return false;
            bool allBlocked = true;
            while (const dirent* entry = ::readdir(tasks)) {
                if (entry->d_name[0] == '.') continue;
                const int task = std::atoi(entry->d_name);
                if (task != self && futexWaitOf(task) == FutexWait::none) allBlocked = false;
            }
            ::closedir(tasks);
            return allBlocked;
        },
        limit);
}

bool waitForAnotherSharedFutexWaiter(const std::vector<int>& waitingBefore, std::chrono::milliseconds limit) {
    return waitFor(
        [&] {
            for (const int task : threadsWaitingOnSharedFutexes()) {
                if (std::find(waitingBefore.begin(), waitingBefore.end(), task) == waitingBefore.end()) return true;
            }
            return false;
        },
        limit);
}

long wakeUpsOf(int pid) { return switchesIn("/proc/" + std::to_string(pid) + "/status"); }

long wakeUpsOfOtherThreads() {
    const std::string self = std::to_string(::getpid());
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    long total = 0;
    while (const dirent* entry = ::readdir(tasks)) {
        const std::string task = entry->d_name;
        if (task == "." || task == ".." || task == self) continue;
        const long switches = switchesIn("/proc/self/task/" + task + "/status");
        if (switches > 0) total += switches;
    }
    ::closedir(tasks);
    return total;
}

}  // namespace zolt_test
