// The channel logic behind the five exported functions, independent of the
// operating system: every system service comes through Os.
#pragma once

#include <cstdint>
#include <optional>
#include <mutex>

#include "channel_record.h"
#include "object_names.h"
#include "os.h"
#include "zolt_protocol.h"
#include "zolt.h"

namespace zolt {

inline constexpr char kPathSeparator = ZOLT_PATH_SEPARATOR;

class Library {
public:
    explicit Library(Os& os, char pathSeparator = kPathSeparator) noexcept
        : os_(os), pathSeparator_(pathSeparator) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Resets the eight channels and creates their pollers, suspended.
    void startUp();

    std::int8_t open(std::int8_t channel, const char* slavePath);
    std::int8_t write(std::int8_t channel, const char* command);
    const char* read(std::int8_t channel) const;
    std::int8_t event(std::int8_t channel, NotifyCallback callback);
    std::int8_t close(std::int8_t channel);

    // For tests; not exported from the shared library.
    int suspensionCount(std::int8_t channel) const;
    const ChannelRecord& record(std::int8_t channel) const { return channels_[channel]; }
    // Claims kept after failed closes, until their slaves end.
    int retiredClaimCount();
    // One pass of the poller's loop: wait for the gate and the event, then
    // hand out what the slave has pending.
    void runPollerPass(int channel);

private:
    struct PollerBinding {
        Library* library;
        int channel;
    };

    static bool isValid(std::int8_t channel) { return channel >= 0 && channel < kChannelCount; }
    // True in a forked child: the channels, their mailboxes and pollers are
    // the parent's, so nothing may touch them, nor take their locks (a
    // parent's thread may have held one at the fork).
    bool inForkedChild() { return os_.processId() != processId_; }
    // The reason of the system call that failed an open, if one did.
    using SystemError = std::optional<int>;
    std::int8_t openLocked(ChannelRecord& channel, const char* slavePath, SystemError& systemError);
    std::int8_t openClaimed(ChannelRecord& channel, const ObjectNames& names, const char* slavePath,
                            SystemError& systemError);
    void releaseClaim(ChannelRecord& channel);
    // After a failed close: the claim and the slave's handle are kept until
    // that slave has ended, so no second slave serves the same mailbox.
    void retireClaim(ChannelRecord& channel);
    // Gives back the kept claims whose slaves have ended. Run by every open
    // and close.
    void releaseEndedSlavesClaims();
    ChannelRecord& channelAt(std::int8_t channel) { return channels_[channel]; }

    // Where this thread's exchanges on the channel leave their replies, and
    // where its Read looks: the poller's buffer inside the channel's own
    // callback, the host's elsewhere.
    template <typename Record>  // ChannelRecord, const or not
    static auto& replyBufferOfThisThread(Record& channel) {
        return channel.poller.runsCallbackOnThisThread() ? channel.pollerReply : channel.reply;
    }

    // Both run with the channel's exchange lock held; the reply goes to
    // `reply` (one of the channel's two buffers).
    std::int8_t writeLocked(ChannelRecord& channel, const char* command, TextBuffer& reply);
    std::int8_t exchange(ChannelRecord& channel, TextBuffer& reply);
    bool waitUntilIdle(ChannelRecord& channel);
    void releaseView(ChannelRecord& channel);

    void drainNotifications(ChannelRecord& channel);
    // True on a poller thread while it runs the host's callback, whichever
    // channel the callback then calls into.
    bool insideCallback() const;
    static void pollerMain(void* binding);

    Os& os_;
    const char pathSeparator_;
    std::uint32_t processId_ = 0;  // of the process that loaded the library
    ChannelTable channels_;
    PollerBinding bindings_[kChannelCount] = {};

    struct RetiredClaim {
        ClaimHandle claim = 0;
        ProcessHandle process = 0;
    };
    // Fixed room: two per channel covers a channel that fails two closes
    // with two stems while both slaves hang.
    std::mutex retiredLock_;
    RetiredClaim retiredClaims_[2 * kChannelCount];
};

// The process's one instance, behind the exported functions. Built and
// started by startUpTheLibrary, which the platform's load-time entry calls
// once; never destroyed.
Library& theLibrary();
void startUpTheLibrary();

}  // namespace zolt
