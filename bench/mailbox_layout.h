// The mailbox as both of its ends touch it, shared by the bench slave and the
// host's spinning baseline, which must follow the library's protocol exactly
// so the comparison is fair.
#pragma once

#include <string>

#include "mailbox.h"
#include "zolt_protocol.h"

namespace zolt_bench {

// The POSIX name of a slave path's mailbox or event (suffix
// ZOLT_MAILBOX_SUFFIX or ZOLT_EVENT_SUFFIX), by the protocol's stem rule:
// "dir/Name.spin" gives "/NameSM". Empty if the rule refuses the path.
inline std::string objectName(const std::string& slavePath, const char* suffix) {
    char name[ZOLT_OBJECT_NAME_CAPACITY];
    if (zolt_object_name(slavePath.c_str(), ZOLT_PATH_SEPARATOR, suffix, name) == 0) return {};
    return std::string("/") + name;
}

// The library's own mailbox code, so the baseline follows its protocol
// exactly: the state byte's ordering, the text copies.
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
