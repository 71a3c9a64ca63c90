// Which processes use which files: mapped (from /proc/PID/maps) or held
// open (/proc/PID/fd), matched by device and inode so that a removed file
// is never mistaken for a new one of the same name.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zolt_objects {

struct Process {
    pid_t pid = 0;
    uid_t uid = 0;
    std::string command;  // the short name from /proc/PID/stat
};

using FileId = std::pair<dev_t, ino_t>;

struct ProcessScan {
    std::map<FileId, std::vector<Process>> users;
    // Processes whose maps or descriptors could not be read (another user's,
    // for anyone but root). Kernel threads are left out: they map no files.
    std::vector<Process> uninspected;
};

// Looks through every process for the files in wanted.
ProcessScan scanProcesses(const std::vector<FileId>& wanted);

}  // namespace zolt_objects
