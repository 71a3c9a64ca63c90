// Test slaves under names of their own. The mailbox and event names come from
// the slave's file name and are global to the machine, so every slave of every
// test process gets a unique name: a link to the test slave on Linux, a copy
// on Windows.
#pragma once

#include <string>

#include "test_platform.h"

namespace zolt_test {

class SlaveFolder {
public:
    SlaveFolder();
    ~SlaveFolder();
    SlaveFolder(const SlaveFolder&) = delete;
    SlaveFolder& operator=(const SlaveFolder&) = delete;

    // A new uniquely named test slave.
    std::string newSlave();
    // The same for another program of a build (this one unless `buildFolder`
    // says otherwise), by its name without suffix.
    std::string newSlaveFrom(const std::string& programName, const std::string& buildFolder = binaryFolder());
    // A file name no other slave of any test process has, without suffix.
    static std::string uniqueName();
    // Puts a program of a build at `path`, making its folder.
    static void placeProgram(const std::string& programName, const std::string& path,
                             const std::string& buildFolder = binaryFolder());
    // The stem of a path that this folder gave: its own name, not the rule
    // under test.
    static std::string stemOf(const std::string& slavePath);
    // The folder itself, and a file name in it.
    const std::string& path() const { return folder_; }
    std::string pathOf(const std::string& fileName) const { return folder_ + kSeparator + fileName; }

private:
    std::string folder_;
};

#if !defined(_WIN32)
// True if /dev/shm holds the mailbox or the event of this stem.
bool mailboxExists(const std::string& stem);
bool eventExists(const std::string& stem);
// Permission bits of the mailbox and the event, or -1.
int mailboxMode(const std::string& stem);
int eventMode(const std::string& stem);
#endif

}  // namespace zolt_test
