#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zolt_slave {

// Bytes after the state byte; holds one NUL-terminated command or reply.
inline constexpr std::size_t kTextBytes = 1024;
inline constexpr std::size_t kMaxTextLength = kTextBytes - 1;
// Exit code of a slave that notices its host has gone.
inline constexpr int kOrphanExitCode = 3;

// Mailbox and event names derive from this: "dir/Brivex.exe" -> "Brivex".
// On Windows a backslash separates folders too.
std::string stemOf(const char* programPath);

// The slave's end of the host's mailbox: one request pending at a time,
// answered in place, plus a semaphore for unsolicited notifications.
class SlaveMailbox {
public:
    // Remembers the current parent so a vanished host can be noticed,
    // even while the slave is still starting up.
    SlaveMailbox();
    ~SlaveMailbox();
    SlaveMailbox(const SlaveMailbox&) = delete;
    SlaveMailbox& operator=(const SlaveMailbox&) = delete;

    // Opens the mailbox and event the host created for this program's stem.
    // Never touches the state byte: a command may already be pending.
    bool open(const char* programPath);
    const std::string& lastError() const { return lastError_; }

    // Blocks until a command is pending and returns a private copy of it.
    // Exits with kOrphanExitCode if the host goes away meanwhile.
    const char* waitForCommand();

    // Writes the reply (cut to kMaxTextLength), then releases the mailbox.
    void reply(const char* text);
    // Fills the whole text area without a terminator, then releases the
    // mailbox; lets tests check the host stays within the mailbox.
    void replyWithoutNul();
    void setState(unsigned char value);
    // Wakes the host to ask for notifications.
    void signal();

    bool parentGone() const;
    void exitIfParentGone() const;
    // Sleeps, but still exits promptly if the host goes away.
    void pause(std::chrono::milliseconds duration) const;
    // Stops serving; lingers only as long as the host does.
    [[noreturn]] void idleUntilParentGone() const;

private:
    unsigned char loadState() const;

    // Platform handles: the parent (pid or process handle), the mailbox
    // mapping and the event.
    std::intptr_t parent_ = 0;
    unsigned char* mapping_ = nullptr;
    void* event_ = nullptr;
    char command_[kTextBytes + 1] = {};
    std::string lastError_;
};

} // namespace zolt_slave
