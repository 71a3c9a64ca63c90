#pragma once

#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>

#include "zolt_slave.h"

namespace zolt_slave {

// Bytes after the state byte; holds one NUL-terminated command or reply.
inline constexpr std::size_t kTextBytes = ZOLT_SLAVE_TEXT_BYTES;
inline constexpr std::size_t kMaxTextLength = ZOLT_SLAVE_MAX_TEXT_LENGTH;
// Exit code of a slave that notices its host has gone.
inline constexpr int kOrphanExitCode = 3;

// Mailbox and event names derive from this: "dir/Brivex.exe" -> "Brivex".
// On Windows a backslash separates folders too.
std::string stemOf(const char* programPath);

// The slave kit's mailbox for the test slave, which also needs to sleep and
// misbehave on command, and ends itself as soon as its host has gone.
class SlaveMailbox {
public:
    // Remembers the current parent so a vanished host can be noticed,
    // even while the slave is still starting up.
    SlaveMailbox() { zolt_slave_init(&slave_); }
    ~SlaveMailbox() { zolt_slave_close(&slave_); }
    SlaveMailbox(const SlaveMailbox&) = delete;
    SlaveMailbox& operator=(const SlaveMailbox&) = delete;

    // Opens the mailbox and event the host created for this program's stem.
    bool open(const char* programPath) { return zolt_slave_connect(&slave_, programPath) == 0; }
    const char* lastError() const { return slave_.error; }

    // Blocks until a command is pending and returns a private copy of it.
    // Exits with kOrphanExitCode if the host goes away meanwhile.
    const char* waitForCommand();

    // Writes the reply (cut to kMaxTextLength), then releases the mailbox.
    void reply(const char* text) { zolt_slave_reply(&slave_, text); }
    // Fills the whole text area without a terminator, then releases the
    // mailbox; lets tests check the host stays within the mailbox.
    void replyWithoutNul();
    // Writes `text`, then any value into the state byte: with a value other
    // than 0, a slave that breaks the handshake.
    void setStateOver(const char* text, unsigned char value) {
        zolt_slave_text(&slave_)[0] = '\0';
        std::strncat(zolt_slave_text(&slave_), text, kMaxTextLength);
        ZOLT_SLAVE_STORE_STATE(slave_.mailbox, value);
    }
    // Wakes the host to ask for notifications.
    void signal() { zolt_slave_signal(&slave_); }

    void exitIfParentGone() const;
    // Sleeps, but still exits promptly if the host goes away.
    void pause(std::chrono::milliseconds duration) const;
    // Stops serving; lingers only as long as the host does.
    [[noreturn]] void idleUntilParentGone() const;

private:
    ZoltSlave slave_;
};

} // namespace zolt_slave
