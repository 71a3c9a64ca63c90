// The mailbox as both of its ends touch it, shared by the bench slave and the
// host's spinning baseline, which must follow the library's protocol exactly
// so the comparison is fair.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

namespace zolt_bench {

// The mailbox is "/" + stem + "SM", the event "/" + stem + "EM". The stem is
// the file name up to its last period: "dir/Name.spin" gives "Name".
inline std::string stemOf(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.substr(0, name.rfind('.'));
}

inline constexpr std::size_t kMailboxBytes = 1025;
inline constexpr std::size_t kTextBytes = 1024;
inline constexpr unsigned char kIdle = 0;
inline constexpr unsigned char kPending = 1;

inline unsigned char loadState(unsigned char* mailbox) {
    return std::atomic_ref<unsigned char>(mailbox[0]).load(std::memory_order_acquire);
}

inline void storeState(unsigned char* mailbox, unsigned char state) {
    std::atomic_ref<unsigned char>(mailbox[0]).store(state, std::memory_order_release);
}

// Cut to what the text area holds, always terminated.
inline void putText(unsigned char* mailbox, const char* text) {
    const std::size_t length = ::strnlen(text, kTextBytes - 1);
    std::memcpy(mailbox + 1, text, length);
    mailbox[1 + length] = '\0';
}

inline void takeText(const unsigned char* mailbox, char (&target)[kTextBytes]) {
    const char* text = reinterpret_cast<const char*>(mailbox + 1);
    const std::size_t length = ::strnlen(text, kTextBytes - 1);
    std::memcpy(target, text, length);
    target[length] = '\0';
}

// Tells the core it is in a spin loop, so the other hyperthread and the
// memory system are not flooded.
inline void relaxInSpin() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace zolt_bench
