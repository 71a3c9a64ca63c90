#include "slave_mailbox.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zolt_slave {
namespace {

constexpr auto kPollInterval = std::chrono::microseconds(100);

// The host sees the state byte from another process; a lock-based
// atomic would not synchronise with it.
static_assert(std::atomic_ref<unsigned char>::is_always_lock_free);

} // namespace

unsigned char SlaveMailbox::loadState() const {
    return std::atomic_ref<unsigned char>(mapping_[0]).load(std::memory_order_acquire);
}

const char* SlaveMailbox::waitForCommand() {
    while (loadState() == 0) {
        exitIfParentGone();
        std::this_thread::sleep_for(kPollInterval);
    }
    // The host may have left no terminator; never read past the mailbox.
    const char* text = reinterpret_cast<const char*>(mapping_ + 1);
    const std::size_t length = strnlen(text, kTextBytes);
    std::memcpy(command_, text, length);
    command_[length] = '\0';
    return command_;
}

void SlaveMailbox::reply(const char* text) {
    const std::size_t length = strnlen(text, kMaxTextLength);
    char* area = reinterpret_cast<char*>(mapping_ + 1);
    std::memmove(area, text, length);
    area[length] = '\0';
    setState(0);
}

void SlaveMailbox::replyWithoutNul() {
    std::memset(mapping_ + 1, 'Z', kTextBytes);
    setState(0);
}

void SlaveMailbox::setState(unsigned char value) {
    std::atomic_ref<unsigned char>(mapping_[0]).store(value, std::memory_order_release);
}

void SlaveMailbox::exitIfParentGone() const {
    if (parentGone())
        std::exit(kOrphanExitCode);
}

void SlaveMailbox::pause(std::chrono::milliseconds duration) const {
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const auto end = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        exitIfParentGone();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kSlice, end - now));
    }
    exitIfParentGone();
}

void SlaveMailbox::idleUntilParentGone() const {
    for (;;) {
        exitIfParentGone();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace zolt_slave
