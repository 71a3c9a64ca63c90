#include <mutex>

#include "library.h"
#include "object_names.h"

namespace zolt {

std::int8_t Library::open(std::int8_t index, const char* slavePath) {
    // A channel outside the table has no poller either, and neither has a
    // forked child: the parent's pollers did not come with it.
    if (!isValid(index) || inForkedChild()) return ZOLT_OPEN_NO_POLLER;
    SystemError systemError;
    const std::int8_t status = openLocked(channelAt(index), slavePath, systemError);
    // Put back once the lock is given back too: the host reads the reason of
    // the failed system call, not what the clean-up left.
    if (systemError) os_.restoreLastError(*systemError);
    return status;
}

std::int8_t Library::openLocked(ChannelRecord& channel, const char* slavePath, SystemError& systemError) {
    std::lock_guard lock(channel.exchangeLock);

    if (channel.open) return ZOLT_OPEN_ALREADY_OPEN;
    if (!channel.poller.exists()) return ZOLT_OPEN_NO_POLLER;

    ObjectNames names;
    if (!deriveObjectNames(slavePath, pathSeparator_, names)) return ZOLT_OPEN_START_FAILED;

    // Two open channels of one stem would share a mailbox and an event and
    // mix up each other's replies, whichever processes they are in.
    releaseEndedSlavesClaims();
    ClaimHandle claim = 0;
    switch (os_.claimStem(names.claim, claim)) {
    case ClaimResult::InUse:
        return ZOLT_OPEN_STEM_IN_USE;
    case ClaimResult::Failed:
        systemError = os_.lastError();
        return ZOLT_OPEN_SHARED_MEMORY_FAILED;
    case ClaimResult::Claimed:
        break;
    }
    const std::int8_t status = openClaimed(channel, names, slavePath, systemError);
    // A failed open claims nothing.
    if (status == ZOLT_OK) {
        channel.claim = claim;
    } else {
        os_.releaseStemClaim(claim);
    }
    return status;
}

std::int8_t Library::openClaimed(ChannelRecord& channel, const ObjectNames& names, const char* slavePath,
                                 SystemError& systemError) {
    const SharedMemoryHandle memory = os_.createSharedMemory(names.mailbox, kMailboxSize);
    if (memory == 0) {
        systemError = os_.lastError();
        return ZOLT_OPEN_SHARED_MEMORY_FAILED;
    }
    unsigned char* view = os_.mapSharedMemory(memory, kMailboxSize);
    if (view == nullptr) {
        systemError = os_.lastError();
        return ZOLT_OPEN_MAPPING_FAILED;
    }

    // A view that an earlier failed open left mapped is of no use any more.
    releaseView(channel);
    channel.mailbox = view;
    storeState(view, kIdle);

    const EventHandle event = os_.createEvent(names.event);
    if (event == 0) systemError = os_.lastError();
    channel.poller.attachEvent(event);
    if (event == 0) return ZOLT_OPEN_EVENT_FAILED;
    // Optional: without it a slave naps, as with an older library.
    channel.slaveWakeUp = os_.createSlaveWakeUp(names.wake);

    const ProcessHandle process = os_.startProcess(slavePath);
    if (process == 0) {
        systemError = os_.lastError();
        return ZOLT_OPEN_START_FAILED;
    }
    if (channel.process != 0) os_.releaseProcess(channel.process);
    channel.process = process;
    channel.open = true;
    return ZOLT_OK;
}

}  // namespace zolt
