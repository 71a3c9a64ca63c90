#include <cstring>
#include <mutex>

#include "library.h"

namespace zolt {

std::int8_t Library::event(std::int8_t index, NotifyCallback callback) {
    if (!isValid(index)) return ZOLT_EVENT_NOT_OPEN;
    ChannelRecord& channel = channelAt(index);
    std::lock_guard lock(channel.exchangeLock);
    if (!channel.open) return ZOLT_EVENT_NOT_OPEN;
    // Stored before the poller is let go, so it never runs without it.
    channel.callback = callback;
    channel.pollerGate.resume();
    return ZOLT_OK;
}

void Library::pollerMain(void* binding) {
    const auto* self = static_cast<const PollerBinding*>(binding);
    for (;;) self->library->runPollerPass(self->channel);
}

void Library::runPollerPass(int index) {
    ChannelRecord& channel = channels_[index];
    // A closed channel has no event: wait at the gate until an open brings one
    // rather than end, so the next open is served again.
    EventHandle event = 0;
    channel.pollerGate.waitUntilRunning([&] {
        event = channel.event;
        return event != 0;
    });
    // Published before the event is checked again, and open stores the event
    // before it reads this: either open sees the wait and wakes it, or the
    // poller sees the new event and does not wait on the old one.
    channel.eventInWait = event;
    if (channel.event == event) os_.waitForEvent(event);
    channel.eventInWait = 0;
    // A close during the wait suspends the poller: it goes no further until
    // the host lets it run again.
    channel.pollerGate.waitUntilRunning([] { return true; });
    // Woken to move to another open's event: wait there instead.
    if (channel.event != event) return;
    drainNotifications(channel);
}

void Library::drainNotifications(ChannelRecord& channel) {
    for (;;) {
        // Without a callback the notifications stay with the slave.
        if (channel.callback.load() == nullptr) return;

        // Held from the "Ask" until its callback returns, so no other exchange
        // can replace the notification before the callback has seen it.
        std::lock_guard lock(channel.exchangeLock);
        if (channel.pollerGate.suspended()) return;
        // A failed "Ask" leaves an older text in the reply: never hand that out.
        if (writeLocked(channel, ZOLT_COMMAND_ASK) != ZOLT_OK) return;
        if (std::strcmp(channel.reply, ZOLT_REPLY_NOTHING) == 0) return;
        const NotifyCallback callback = channel.callback.load();
        if (callback == nullptr) return;
        try {
            callback();
        } catch (...) {
            // The host's exception has nowhere to go on this thread; keep serving.
        }
    }
}

}  // namespace zolt
