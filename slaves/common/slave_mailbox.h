#pragma once

#include <chrono>
#include <cstring>

#include "zolt_slave.h"

namespace zolt_slave {

// Exit code of a slave that notices its host has gone.
inline constexpr int kOrphanExitCode = 3;

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

    // Opens the mailbox and event the library made for this program, found
    // as zolt_slave_open finds them; argv0 is main's argv[0].
    bool open(const char* argv0) {
        char path[ZOLT_SLAVE_PATH_CAPACITY];
        return zolt_slave_connect(&slave_, zolt_slave_started_path(argv0, path)) == 0;
    }
    const char* lastError() const { return slave_.error; }

    // Blocks until a command is pending and returns a private copy of it.
    // Exits with kOrphanExitCode if the host goes away meanwhile.
    const char* waitForCommand();

    // Writes the reply (cut to ZOLT_MAX_TEXT_LENGTH), then releases the mailbox.
    void reply(const char* text) { zolt_slave_reply(&slave_, text); }
    // Fills the whole text area without a terminator, then releases the
    // mailbox; lets tests check the host stays within the mailbox.
    void replyWithoutNul();
    // Writes `text`, then any value into the state byte: with a value other
    // than 0, a slave that breaks the handshake.
    void setStateOver(const char* text, unsigned char value) {
        zolt_slave_text(&slave_)[0] = '\0';
        std::strncat(zolt_slave_text(&slave_), text, ZOLT_MAX_TEXT_LENGTH);
        ZOLT_SLAVE_STORE_STATE(slave_.mailbox + ZOLT_STATE_OFFSET, value);
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
