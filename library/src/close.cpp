#include <mutex>

#include "library.h"

namespace zolt {

std::int8_t Library::close(std::int8_t index) {
    if (!isValid(index) || inForkedChild()) return ZOLT_WRITE_NOT_OPEN;
    ChannelRecord& channel = channelAt(index);
    std::int8_t status = ZOLT_WRITE_NOT_OPEN;
    {
        // Taken for the teardown too: the poller decides under this lock
        // whether to ask and whether to call the callback, so once it is
        // released no new callback of this channel can start.
        std::lock_guard lock(channel.exchangeLock);
        status = writeLocked(channel, ZOLT_COMMAND_CLOSE);
        channel.open = false;
        channel.callback = nullptr;
        releaseView(channel);
        // Every close suspends the poller once more, open channel or not.
        if (channel.poller.exists()) channel.poller.suspendAndDetach();
        // Last: another channel may take the stem, and so the event, now.
        releaseClaim(channel);
    }
    // A host thread may free what the callback uses once close returns, so it
    // waits for a callback already running. A close from inside a callback
    // must not: two callbacks closing each other's channels would wait
    // for each other.
    if (!insideCallback()) channel.poller.waitUntilOutOfCallback();
    return status;
}

void Library::releaseClaim(ChannelRecord& channel) {
    if (channel.claim == 0) return;
    os_.releaseStemClaim(channel.claim);
    channel.claim = 0;
}

void Library::releaseView(ChannelRecord& channel) {
    if (channel.mailbox == nullptr) return;
    os_.unmapSharedMemory(channel.mailbox, kMailboxSize);
    channel.mailbox = nullptr;
}

}  // namespace zolt
