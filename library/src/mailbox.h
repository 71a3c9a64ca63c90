// The mailbox shared with a slave: one state byte, then a 1024-byte text
// area. The state byte is the only synchronisation between the two
// processes, so it is read with acquire and written with release ordering:
// the text written before it is then visible to the other side.
#pragma once

#include <atomic>
#include <cstddef>

#include "zolt_protocol.h"

namespace zolt {

inline constexpr std::size_t kMailboxSize = ZOLT_MAILBOX_SIZE;
inline constexpr std::size_t kTextCapacity = ZOLT_TEXT_CAPACITY;
inline constexpr std::size_t kMaxTextLength = ZOLT_MAX_TEXT_LENGTH;
inline constexpr int kSleepsPerWait = ZOLT_SLEEPS_PER_WAIT;

inline constexpr unsigned char kIdle = ZOLT_STATE_IDLE;
inline constexpr unsigned char kPending = ZOLT_STATE_PENDING;

inline unsigned char loadState(unsigned char* mailbox) {
    return std::atomic_ref<unsigned char>(mailbox[ZOLT_STATE_OFFSET]).load(std::memory_order_acquire);
}

inline void storeState(unsigned char* mailbox, unsigned char state) {
    std::atomic_ref<unsigned char>(mailbox[ZOLT_STATE_OFFSET]).store(state, std::memory_order_release);
}

// Copies a text of at most kMaxTextLength bytes, with its NUL, into the
// text area.
void putText(unsigned char* mailbox, const char* text);

// Copies the text area up to its NUL into `target`. A text with no NUL in the
// area is cut to kMaxTextLength bytes, so nothing past the mailbox is
// ever read and `target` is always terminated.
using TextBuffer = char[kTextCapacity];
void takeText(const unsigned char* mailbox, TextBuffer& target);

}  // namespace zolt
