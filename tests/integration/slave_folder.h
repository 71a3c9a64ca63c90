// Test slaves under names of their own. The mailbox and event names come from
// the slave's file name and are global to the machine, so every slave of every
// test process gets a unique name: a symbolic link to the test slave.
#pragma once

#include <string>

namespace zolt_test {

class SlaveFolder {
public:
    SlaveFolder();
    ~SlaveFolder();
    SlaveFolder(const SlaveFolder&) = delete;
    SlaveFolder& operator=(const SlaveFolder&) = delete;

    // A new uniquely named link to the test slave; its stem is the name.
    std::string newSlave();
    // Same as newSlave(), for a program other than the test slave.
    std::string newLinkTo(const std::string& program);
    // The stem of a path that newSlave() gave.
    static std::string stemOf(const std::string& slavePath);
    const std::string& path() const { return folder_; }

private:
    std::string folder_;
};

// True if /dev/shm holds the mailbox or the event of this stem.
bool mailboxExists(const std::string& stem);
bool eventExists(const std::string& stem);
// Permission bits of the mailbox and the event, or -1.
int mailboxMode(const std::string& stem);
int eventMode(const std::string& stem);

}  // namespace zolt_test
