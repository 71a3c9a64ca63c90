// The mailbox shared with a slave: one state byte, then a 1024-byte text
// area. The state byte is the only synchronisation between the two
// processes, so it is read with acquire and written with release ordering:
// the text written before it is then visible to the other side.
#pragma once

#include <atomic>
#include <cstddef>

namespace zolt {

inline constexpr std::size_t kMailboxSize = 1025;
inline constexpr std::size_t kTextCapacity = 1024;  // 1023 characters and a NUL
inline constexpr std::size_t kMaxTextLength = kTextCapacity - 1;
inline constexpr int kSleepsPerWait = 4000;

inline constexpr unsigned char kIdle = 0;
inline constexpr unsigned char kPending = 1;

inline unsigned char loadState(unsigned char* mailbox) {
    return std::atomic_ref<unsigned char>(mailbox[0]).load(std::memory_order_acquire);
}

inline void storeState(unsigned char* mailbox, unsigned char state) {
    std::atomic_ref<unsigned char>(mailbox[0]).store(state, std::memory_order_release);
}

// Copies a text of at most kMaxTextLength characters, with its NUL, into the
// text area.
void putText(unsigned char* mailbox, const char* text);

// Copies the text area up to its NUL into `target`. A text with no NUL in the
// area is cut to kMaxTextLength characters, so nothing past the mailbox is
// ever read and `target` is always terminated.
void takeText(const unsigned char* mailbox, char (&target)[kTextCapacity]);

}  // namespace zolt
