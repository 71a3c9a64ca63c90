// The names of a channel's two named objects, derived from the slave's path.
#pragma once

#include <cstddef>

namespace zolt {

inline constexpr std::size_t kMaxSlavePathLength = 99;
// Stem (at most the whole path) plus a two-letter suffix plus the NUL.
inline constexpr std::size_t kObjectNameCapacity = kMaxSlavePathLength + 3;

struct ObjectNames {
    char mailbox[kObjectNameCapacity];  // stem + "SM"
    char event[kObjectNameCapacity];    // stem + "EM"
};

// The stem is the file name (the text after the last separator, or the whole
// path without one) cut at its last period (kept whole without one). Refuses
// a null or empty path, one longer than kMaxSlavePathLength, and one whose
// file name is empty.
bool deriveObjectNames(const char* slavePath, char separator, ObjectNames& names);

}  // namespace zolt
