#include "slave_mailbox.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zolt_slave {

const char* SlaveMailbox::waitForCommand() {
    const char* command = zolt_slave_wait(&slave_);
    if (command == nullptr)
        std::exit(kOrphanExitCode);
    return command;
}

void SlaveMailbox::replyWithoutNul() {
    std::memset(zolt_slave_text(&slave_), 'Z', ZOLT_TEXT_CAPACITY);
    zolt_slave_release(&slave_);
}

void SlaveMailbox::exitIfParentGone() const {
    if (zolt_slave_host_gone(&slave_))
        std::exit(kOrphanExitCode);
}

void SlaveMailbox::pause(std::chrono::milliseconds duration) const {
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const auto end = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        exitIfParentGone();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kSlice, end - now));
    }
    exitIfParentGone();
}

void SlaveMailbox::idleUntilParentGone() const {
    for (;;) {
        exitIfParentGone();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace zolt_slave
