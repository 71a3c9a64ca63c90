#include "object_users.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace zolt_objects {
namespace {

constexpr unsigned long kKernelThreadFlag = 0x00200000;  // PF_KTHREAD

bool isNumber(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// The short name and the flags from /proc/PID/stat, which anyone may read.
// The name is in parentheses and may itself hold spaces and parentheses.
bool readStat(const std::string& folder, Process& process, bool& kernelThread) {
    std::ifstream file(folder + "/stat");
    std::string line;
    if (!std::getline(file, line)) return false;
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    process.command = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    std::string field;
    // After the name: state, ppid, pgrp, session, tty_nr, tpgid, flags.
    for (int i = 0; i < 7 && rest >> field; ++i) {
    }
    kernelThread = (std::strtoul(field.c_str(), nullptr, 10) & kKernelThreadFlag) != 0;
    return true;
}

uid_t readEffectiveUid(const std::string& folder) {
    std::ifstream file(folder + "/status");
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream fields(line.substr(4));
            unsigned long real = 0, effective = 0;
            fields >> real >> effective;
            return static_cast<uid_t>(effective);
        }
    }
    return static_cast<uid_t>(-1);
}

// Adds the wanted files the process maps. False if the maps are unreadable.
bool readMaps(const std::string& folder, const std::set<FileId>& wanted, std::set<FileId>& found) {
    // Opening checks the access; a zombie's maps are simply empty.
    std::ifstream file(folder + "/maps");
    if (!file) return false;
    for (std::string line; std::getline(file, line);) {
        // address perms offset major:minor inode path
        std::istringstream fields(line);
        std::string address, permissions, offset, device;
        unsigned long long inode = 0;
        if (!(fields >> address >> permissions >> offset >> device >> inode) || inode == 0) continue;
        const auto colon = device.find(':');
        if (colon == std::string::npos) continue;
        const auto major = static_cast<unsigned>(std::strtoul(device.substr(0, colon).c_str(), nullptr, 16));
        const auto minor = static_cast<unsigned>(std::strtoul(device.substr(colon + 1).c_str(), nullptr, 16));
        const FileId id{makedev(major, minor), static_cast<ino_t>(inode)};
        if (wanted.count(id) != 0) found.insert(id);
    }
    return true;
}

// Adds the wanted files the process holds open. False if it cannot be read.
bool readDescriptors(const std::string& folder, const std::set<FileId>& wanted, std::set<FileId>& found) {
    const std::string descriptors = folder + "/fd";
    DIR* directory = ::opendir(descriptors.c_str());
    if (directory == nullptr) return errno == ENOENT;
    while (const dirent* entry = ::readdir(directory)) {
        if (!isNumber(entry->d_name)) continue;
        struct stat info {};
        if (::stat((descriptors + "/" + entry->d_name).c_str(), &info) != 0) continue;
        const FileId id{info.st_dev, info.st_ino};
        if (wanted.count(id) != 0) found.insert(id);
    }
    ::closedir(directory);
    return true;
}

}  // namespace

ProcessScan scanProcesses(const std::vector<FileId>& wantedList) {
    const std::set<FileId> wanted(wantedList.begin(), wantedList.end());
    ProcessScan scan;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return scan;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        if (!isNumber(entry->d_name)) continue;
        Process process;
        process.pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        if (process.pid == self) continue;
        const std::string folder = std::string("/proc/") + entry->d_name;
        bool kernelThread = false;
        if (!readStat(folder, process, kernelThread)) continue;  // ended meanwhile
        if (kernelThread) continue;
        process.uid = readEffectiveUid(folder);
        std::set<FileId> found;
        const bool mapsRead = readMaps(folder, wanted, found);
        const bool descriptorsRead = readDescriptors(folder, wanted, found);
        if (!mapsRead || !descriptorsRead) {
            // A process that ended meanwhile uses nothing.
            struct stat info {};
            if (::stat(folder.c_str(), &info) == 0) scan.uninspected.push_back(process);
        }
        for (const FileId& id : found) scan.users[id].push_back(process);
    }
    ::closedir(proc);
    for (auto& [id, processes] : scan.users)
        std::sort(processes.begin(), processes.end(), [](const Process& a, const Process& b) { return a.pid < b.pid; });
    return scan;
}

}  // namespace zolt_objects
