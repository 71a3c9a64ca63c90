// The state of one channel, and the fixed table of eight.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include "exchange_lock.h"
#include "mailbox.h"
#include "os.h"
#include "suspension_gate.h"
#include "zolt.h"

namespace zolt {

inline constexpr int kChannelCount = ZOLT_CHANNEL_COUNT;

struct ChannelRecord {
    // Fields that the poller reads without the exchange lock are atomic.
    std::atomic<bool> open{false};
    unsigned char* mailbox = nullptr;  // null once close has released the view
    char command[kTextCapacity] = {};
    char reply[kTextCapacity] = {};
    ProcessHandle process = 0;
    std::atomic<NotifyCallback> callback{nullptr};
    ThreadHandle pollerThread = 0;
    std::uint32_t pollerThreadId = 0;
    std::atomic<EventHandle> event{0};
    // The event the poller is blocked on, if any: it may be an earlier open's.
    std::atomic<EventHandle> eventInWait{0};

    // Exchanges on one channel never overlap, whichever threads run them.
    ExchangeLock exchangeLock;
    SuspensionGate pollerGate;
};

using ChannelTable = std::array<ChannelRecord, kChannelCount>;

}  // namespace zolt
