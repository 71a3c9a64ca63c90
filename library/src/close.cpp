#include <mutex>

#include "library.h"

namespace zolt {

std::int8_t Library::close(std::int8_t index) {
    if (!isValid(index)) return ZOLT_WRITE_NOT_OPEN;
    ChannelRecord& channel = channelAt(index);
    // Held throughout, so a callback in progress finishes first and no
    // exchange or callback of the poller starts until the channel is down.
    std::lock_guard lock(channel.exchangeLock);

    const std::int8_t status = writeLocked(channel, ZOLT_COMMAND_CLOSE);
    channel.open = false;
    channel.callback = nullptr;
    channel.event = 0;
    releaseView(channel);
    // Every close suspends the poller once more, open channel or not.
    if (channel.pollerThread != 0) channel.pollerGate.suspend();
    return status;
}

void Library::releaseView(ChannelRecord& channel) {
    if (channel.mailbox == nullptr) return;
    os_.unmapSharedMemory(channel.mailbox, kMailboxSize);
    channel.mailbox = nullptr;
}

}  // namespace zolt
