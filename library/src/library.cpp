#include "library.h"

namespace zolt {

void Library::startUp() {
    processId_ = os_.processId();
    for (ChannelRecord& channel : channels_) {
        channel.open = false;
        channel.callback = nullptr;
    }
    // A poller that cannot be created leaves its channel unopenable; the
    // other channels still work.
    for (int index = 0; index < kChannelCount; ++index) {
        ChannelRecord& channel = channels_[index];
        bindings_[index] = PollerBinding{this, index};
        channel.poller.start(os_, &Library::pollerMain, &bindings_[index]);
    }
}

const char* Library::read(std::int8_t channel) const {
    static const char kNoText[] = "";
    return isValid(channel) ? replyBufferOfThisThread(channels_[channel]) : kNoText;
}

int Library::suspensionCount(std::int8_t channel) const { return channels_[channel].poller.suspensionCount(); }

}  // namespace zolt
