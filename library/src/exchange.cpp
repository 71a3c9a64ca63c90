#include <cstring>
#include <mutex>

#include "library.h"

namespace zolt {

std::int8_t Library::write(std::int8_t index, const char* command) {
    if (!isValid(index) || inForkedChild()) return ZOLT_WRITE_NOT_OPEN;
    ChannelRecord& channel = channelAt(index);
    std::lock_guard lock(channel.exchangeLock);
    return writeLocked(channel, command, replyBufferOfThisThread(channel));
}

std::int8_t Library::writeLocked(ChannelRecord& channel, const char* command, TextBuffer& reply) {
    if (!channel.open) return ZOLT_WRITE_NOT_OPEN;
    // Refused before anything is touched: the mailbox cannot carry it.
    if (command == nullptr || ::strnlen(command, kTextCapacity) > kMaxTextLength) return ZOLT_WRITE_COMMAND_REFUSED;
    std::memcpy(channel.command, command, std::strlen(command) + 1);
    return exchange(channel, reply);
}

std::int8_t Library::exchange(ChannelRecord& channel, TextBuffer& reply) {
    // Only the word decides: a query that stores nothing counts as running.
    std::uint32_t exitCode = kStillRunning;
    os_.queryExitCode(channel.process, exitCode);
    if (exitCode != kStillRunning) return ZOLT_WRITE_SLAVE_ENDED;

    unsigned char* mailbox = channel.mailbox;
    if (!waitUntilIdle(channel)) return ZOLT_WRITE_MAILBOX_BUSY;
    putText(mailbox, channel.command);
    storeState(mailbox, kPending);
    os_.wakeSlave(mailbox, channel.slaveWakeUp);
    if (!waitUntilIdle(channel)) return ZOLT_WRITE_REPLY_TIMEOUT;
    takeText(mailbox, reply);
    return ZOLT_OK;
}

// Checks before every sleep and gives up right after the last one, so a wait
// costs at most kSleepsPerWait sleeps. The channel sleeps as its own sleeper:
// only its exchange lock's holder sleeps there.
bool Library::waitUntilIdle(ChannelRecord& channel) {
    if (loadState(channel.mailbox) == kIdle) return true;
    const int sleeper = static_cast<int>(&channel - channels_.data());
    bool idle = false;
    for (int sleepsLeft = kSleepsPerWait; !idle;) {
        os_.sleepOneMillisecond(sleeper);
        if (--sleepsLeft == 0) break;
        idle = loadState(channel.mailbox) == kIdle;
    }
    os_.finishSleeping(sleeper);
    return idle;
}

}  // namespace zolt
