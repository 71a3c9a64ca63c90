// Channels whose callbacks feed the per-channel recorders: every recorder
// starts empty, and no action of a test outlives it.
#pragma once

#include "channel_fixture.h"
#include "notification_recorder.h"

namespace zolt_test {

class RecordedChannelTest : public ChannelTest {
protected:
    void SetUp() override {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) recorderOf(channel).clear();
    }
    ~RecordedChannelTest() override {
        for (int channel = 0; channel < ZOLT_CHANNEL_COUNT; ++channel) recorderOf(channel).setAction(nullptr);
    }

    std::int8_t enable(int channel) { return api.event(static_cast<std::int8_t>(channel), callbackOf(channel)); }
};

}  // namespace zolt_test
