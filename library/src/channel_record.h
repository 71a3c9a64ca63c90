// The state of one channel, and the fixed table of eight.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include "exchange_lock.h"
#include "mailbox.h"
#include "os.h"
#include "poller.h"
#include "zolt.h"

namespace zolt {

inline constexpr int kChannelCount = ZOLT_CHANNEL_COUNT;

struct ChannelRecord {
    // Every field is changed, and read by the library, under the exchange
    // lock. The open flag and the callback are atomic only so that a look
    // from outside it (the tests, a callback asking after another channel)
    // is no data race. The event and the poller's thread are the poller's.
    std::atomic<bool> open{false};
    unsigned char* mailbox = nullptr;  // null once close has released the view
    char command[kTextCapacity] = {};
    char reply[kTextCapacity] = {};  // the host's threads' latest reply
    // The poller thread's own: its "Ask" replies, and inside the callback the
    // replies to the callback's exchanges on this channel. Apart, so that a
    // host's write never replaces the notification the callback is reading,
    // and an "Ask" never replaces the reply a host is about to read.
    char pollerReply[kTextCapacity] = {};
    ProcessHandle process = 0;
    ClaimHandle claim = 0;  // held from a successful open to its close
    WakeHandle slaveWakeUp = 0;  // set after each raise of the state byte, where there is one
    std::atomic<NotifyCallback> callback{nullptr};

    // Exchanges on one channel never overlap, whichever threads run them.
    ExchangeLock exchangeLock;
    Poller poller;
};

using ChannelTable = std::array<ChannelRecord, kChannelCount>;

}  // namespace zolt
