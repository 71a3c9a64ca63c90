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
        const bool wasOpen = channel.open;
        status = writeLocked(channel, ZOLT_COMMAND_CLOSE, replyBufferOfThisThread(channel));
        channel.open = false;
        channel.callback = nullptr;
        releaseView(channel);
        // Only the close of an open channel counts a suspension: a stray
        // close before an open would otherwise leave one that no Event
        // ever takes away, and notifications off for good.
        if (channel.poller.exists()) {
            if (wasOpen) {
                channel.poller.suspendAndDetach();
            } else {
                channel.poller.detach();
            }
        }
        // Last: another channel may take the stem, and so the event, now.
        // A slave that never got "Close" may still be serving the mailbox,
        // though: its stem stays claimed until it has ended.
        if (status == ZOLT_WRITE_MAILBOX_BUSY || status == ZOLT_WRITE_REPLY_TIMEOUT) {
            retireClaim(channel);
        } else {
            releaseClaim(channel);
        }
        releaseEndedSlavesClaims();
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

void Library::retireClaim(ChannelRecord& channel) {
    if (channel.claim == 0) return;
    std::lock_guard lock(retiredLock_);
    for (RetiredClaim& retired : retiredClaims_) {
        if (retired.claim != 0) continue;
        // The handle goes with the claim: the next open of the channel would
        // release it, and with it the only way to tell the slave has ended.
        retired = RetiredClaim{channel.claim, channel.process};
        channel.claim = 0;
        channel.process = 0;
        return;
    }
    // No room: given back at once, as it was before claims were kept.
    os_.releaseStemClaim(channel.claim);
    channel.claim = 0;
}

int Library::retiredClaimCount() {
    std::lock_guard lock(retiredLock_);
    int count = 0;
    for (const RetiredClaim& retired : retiredClaims_) count += retired.claim != 0 ? 1 : 0;
    return count;
}

void Library::releaseEndedSlavesClaims() {
    std::lock_guard lock(retiredLock_);
    for (RetiredClaim& retired : retiredClaims_) {
        if (retired.claim == 0) continue;
        std::uint32_t exitCode = kStillRunning;
        os_.queryExitCode(retired.process, exitCode);
        if (exitCode == kStillRunning) continue;
        os_.releaseStemClaim(retired.claim);
        os_.releaseProcess(retired.process);
        retired = RetiredClaim{};
    }
}

void Library::releaseView(ChannelRecord& channel) {
    if (channel.mailbox == nullptr) return;
    os_.unmapSharedMemory(channel.mailbox, kMailboxSize);
    channel.mailbox = nullptr;
}

}  // namespace zolt
