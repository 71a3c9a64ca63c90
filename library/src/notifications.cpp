#include <cstring>
#include <mutex>

#include "library.h"

namespace zolt {

bool Library::insideCallback() const {
    for (const ChannelRecord& channel : channels_) {
        if (channel.poller.runsCallbackOnThisThread()) return true;
    }
    return false;
}

std::int8_t Library::event(std::int8_t index, NotifyCallback callback) {
    if (!isValid(index) || inForkedChild()) return ZOLT_EVENT_NOT_OPEN;
    ChannelRecord& channel = channelAt(index);
    std::lock_guard lock(channel.exchangeLock);
    if (!channel.open) return ZOLT_EVENT_NOT_OPEN;
    // Stored before the poller is let go, so it never runs without it.
    channel.callback = callback;
    channel.poller.resume();
    return ZOLT_OK;
}

void Library::pollerMain(void* binding) {
    const auto* self = static_cast<const PollerBinding*>(binding);
    for (;;) self->library->runPollerPass(self->channel);
}

void Library::runPollerPass(int index) {
    ChannelRecord& channel = channels_[index];
    if (channel.poller.awaitSignal()) drainNotifications(channel);
}

void Library::drainNotifications(ChannelRecord& channel) {
    for (;;) {
        NotifyCallback callback;
        {
            // Held from the "Ask" until the callback is about to be called, so
            // the callback starts with its notification in the reply. It is
            // not held while the callback runs: the callback may call any
            // function on any channel, and a channel whose callback waited for
            // another channel's lock could wait for ever.
            std::lock_guard lock(channel.exchangeLock);
            if (channel.poller.suspended()) return;
            // Without a callback the notifications stay with the slave.
            if (channel.callback.load() == nullptr) return;
            // A failed "Ask" leaves an older text in the reply: never hand that out.
            if (writeLocked(channel, ZOLT_COMMAND_ASK, channel.pollerReply) != ZOLT_OK) return;
            if (std::strcmp(channel.pollerReply, ZOLT_REPLY_NOTHING) == 0) return;
            // Event and close change the callback only under this lock, so
            // it is still the one checked above.
            callback = channel.callback.load();
            channel.poller.enterCallback();
        }
        try {
            callback();
        } catch (...) {
            // The host's exception has nowhere to go on this thread; keep serving.
        }
        channel.poller.leaveCallback();
    }
}

}  // namespace zolt
