// Line-at-a-time pipes, the alternative the benchmarks measure: both the host
// and the bench slave write whole lines through them.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace zolt_bench {

// Writes every byte, retrying after signals; false once the pipe is gone.
inline bool writeAll(int descriptor, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace zolt_bench
