// The names of a channel's two named objects, derived from the slave's path
// by the protocol's one stem rule.
#pragma once

#include <cstddef>

#include "zolt_protocol.h"

namespace zolt {

inline constexpr std::size_t kMaxSlavePathLength = ZOLT_MAX_SLAVE_PATH_LENGTH;
inline constexpr std::size_t kObjectNameCapacity = ZOLT_OBJECT_NAME_CAPACITY;

static_assert(kMaxSlavePathLength + sizeof(ZOLT_CLAIM_SUFFIX) <= ZOLT_CLAIM_NAME_CAPACITY);

struct ObjectNames {
    char mailbox[kObjectNameCapacity];  // stem + "SM"
    char event[kObjectNameCapacity];    // stem + "EM"
    char claim[ZOLT_CLAIM_NAME_CAPACITY];  // stem + ".claim"
    char wake[ZOLT_CLAIM_NAME_CAPACITY];   // stem + ".wake"
};

// False when the stem rule refuses the path (see zolt_find_stem).
inline bool deriveObjectNames(const char* slavePath, char separator, ObjectNames& names) {
    return zolt_object_name(slavePath, separator, ZOLT_MAILBOX_SUFFIX, names.mailbox) != 0 &&
           zolt_object_name(slavePath, separator, ZOLT_EVENT_SUFFIX, names.event) != 0 &&
           zolt_claim_name(slavePath, separator, names.claim) != 0 &&
           zolt_wake_name(slavePath, separator, names.wake) != 0;
}

}  // namespace zolt
