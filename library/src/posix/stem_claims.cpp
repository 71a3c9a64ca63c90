#include "stem_claims.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <pthread.h>
#include <time.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "created_names.h"
#include "zolt_protocol.h"

namespace zolt::posix {

namespace {

// The claims this process holds, as descriptor + 1, so that a forked child
// can let go of them: otherwise a child that outlives its parent would keep
// the parent's stems claimed. One claim per open channel.
constexpr int kHeldCapacity = 16;

// How long a claim that is in use is tried again: 50 x 2 ms.
constexpr int kRetriesWhileInUse = 50;
constexpr long kRetryPauseNanoseconds = 2'000'000;
std::atomic<int> held[kHeldCapacity];
// Held from a bind to its entry in `held`, and from clearing an entry to the
// close: a fork in between would leave the child a claim it does not know of.
pthread_mutex_t claimsLock = PTHREAD_MUTEX_INITIALIZER;

void letGoInChild() {
    for (std::atomic<int>& slot : held) {
        const int value = slot.exchange(0);
        if (value != 0) ::close(value - 1);
    }
}

bool addressOf(const char* name, sockaddr_un& address, socklen_t& length) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::size_t used = zolt_claim_address(name, address.sun_path, sizeof address.sun_path);
    if (used == 0) return false;
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + used);
    return true;
}

ClaimResult bindName(const char* name, int& descriptor) {
    sockaddr_un address;
    socklen_t length = 0;
    if (!addressOf(name, address, length)) {
        errno = ENAMETOOLONG;
        return ClaimResult::Failed;
    }
    // Not inherited by the slaves: a slave must not keep its host's claim.
    descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) return ClaimResult::Failed;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) == 0) return ClaimResult::Claimed;
    const int error = errno;
    ::close(descriptor);
    descriptor = -1;
    errno = error;
    return error == EADDRINUSE ? ClaimResult::InUse : ClaimResult::Failed;
}

bool holdsHere(const char* name) {
    sockaddr_un wanted;
    socklen_t wantedLength = 0;
    if (!addressOf(name, wanted, wantedLength)) return false;
    for (const std::atomic<int>& slot : held) {
        const int value = slot.load();
        if (value == 0) continue;
        sockaddr_un bound{};
        socklen_t boundLength = sizeof bound;
        if (::getsockname(value - 1, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0 &&
            boundLength == wantedLength && std::memcmp(&bound, &wanted, wantedLength) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

ClaimResult claimStem(const char* name, ClaimHandle& claim) {
    guardNamesAcrossFork();
    int descriptor = -1;
    const auto claimOnce = [&] {
        ::pthread_mutex_lock(&claimsLock);
        const ClaimResult result = bindName(name, descriptor);
        if (result == ClaimResult::Claimed) {
            for (std::atomic<int>& slot : held) {
                int free = 0;
                if (slot.compare_exchange_strong(free, descriptor + 1)) break;
            }
        }
        ::pthread_mutex_unlock(&claimsLock);
        return result;
    };
    ClaimResult result = claimOnce();
    // A claim just given back may live on for a moment in a child that any
    // thread of the host is starting: the child has a copy of every
    // descriptor until its exec closes them. Only a claim still held after
    // such a moment is another channel's.
    for (int retry = 0; result == ClaimResult::InUse && retry < kRetriesWhileInUse; ++retry) {
        const timespec pause{0, kRetryPauseNanoseconds};
        ::nanosleep(&pause, nullptr);
        result = claimOnce();
    }
    if (result != ClaimResult::Claimed) return result;
    claim = static_cast<ClaimHandle>(descriptor) + 1;
    return ClaimResult::Claimed;
}

void releaseStemClaim(ClaimHandle claim) {
    const int value = static_cast<int>(claim);
    ::pthread_mutex_lock(&claimsLock);
    for (std::atomic<int>& slot : held) {
        int expected = value;
        if (slot.compare_exchange_strong(expected, 0)) break;
    }
    ::close(value - 1);
    ::pthread_mutex_unlock(&claimsLock);
}

bool holdUnlessAnothers(const char* name, int& hold) {
    hold = -1;
    switch (bindName(name, hold)) {
    case ClaimResult::Claimed:
        return true;
    case ClaimResult::InUse:
        return holdsHere(name);
    case ClaimResult::Failed:
        break;
    }
    return false;
}

void lockClaimsForFork() { ::pthread_mutex_lock(&claimsLock); }

void unlockClaimsAfterFork(bool inChild) {
    if (inChild) letGoInChild();
    ::pthread_mutex_unlock(&claimsLock);
}

}  // namespace zolt::posix
