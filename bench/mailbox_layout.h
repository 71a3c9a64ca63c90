// The mailbox as both of its ends touch it, shared by the bench slave and the
// host's spinning baseline, which must follow the library's protocol exactly
// so the comparison is fair.
#pragma once

#include <cstddef>
#include <string>

#include "mailbox.h"

namespace zolt_bench {

// The mailbox is "/" + stem + "SM", the event "/" + stem + "EM". The stem is
// the file name up to its last period: "dir/Name.spin" gives "Name".
inline std::string stemOf(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.substr(0, name.rfind('.'));
}

// The library's own mailbox code, so the baseline follows its protocol
// exactly: the constants, the state byte's ordering, the text copies.
inline constexpr std::size_t kMailboxBytes = zolt::kMailboxSize;
inline constexpr std::size_t kTextBytes = zolt::kTextCapacity;
using zolt::kIdle;
using zolt::kPending;
using zolt::loadState;
using zolt::putText;
using zolt::storeState;
using zolt::takeText;

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
