#include "created_names.h"

#include <cstdlib>
#include <cstring>

#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include "name_table.h"
#include "stem_claims.h"
#include "zolt_protocol.h"

namespace zolt::posix {

namespace {

// Each name with the process that took it: a forked child inherits the
// table, and its exit must leave its parent's channels alone.
struct OwnedName {
    NamedObjectKind kind;
    pid_t owner;
};
// A host that owns more distinct names than this leaves the extra ones in
// place at exit.
NameTable<OwnedName, 256> ownedNames;

// The claim of the stem of a system name: the prefix, the stem, two letters.
bool claimNameOf(const char* fullName, char (&claim)[ZOLT_CLAIM_NAME_CAPACITY]) {
    constexpr std::size_t kPrefixLength = sizeof(ZOLT_SYSTEM_NAME_PREFIX) - 1;
    const std::size_t stemLength = std::strlen(fullName) - kPrefixLength - 2;
    if (stemLength + sizeof(ZOLT_CLAIM_SUFFIX) > sizeof claim) return false;
    std::memcpy(claim, fullName + kPrefixLength, stemLength);
    std::memcpy(claim + stemLength, ZOLT_CLAIM_SUFFIX, sizeof(ZOLT_CLAIM_SUFFIX));
    return true;
}

void removeOwnedNames() {
    const pid_t self = ::getpid();
    ownedNames.drain([self](const char* name, OwnedName owned) {
        char claim[ZOLT_CLAIM_NAME_CAPACITY];
        int hold = -1;
        // Another host may have opened the stem since this one closed its
        // channel: the names are that host's now. Otherwise the claim is held
        // until the name is gone, so no host opens the stem in between and
        // starts a slave that then finds no objects.
        if (owned.owner != self || !claimNameOf(name, claim) || !holdUnlessAnothers(claim, hold)) return;
        if (owned.kind == NamedObjectKind::SharedMemory) {
            ::shm_unlink(name);
        } else {
            ::sem_unlink(name);
        }
        if (hold >= 0) ::close(hold);
    });
}

void lockForFork() {
    ownedNames.lock();
    lockClaimsForFork();
}
void unlockInParent() {
    unlockClaimsAfterFork(false);
    ownedNames.unlock();
}
void unlockInChild() {
    unlockClaimsAfterFork(true);
    ownedNames.unlock();
}

}  // namespace

void guardNamesAcrossFork() {
    static const bool hookedFork = ::pthread_atfork(&lockForFork, &unlockInParent, &unlockInChild) == 0;
    (void)hookedFork;
}

void rememberOwnedName(NamedObjectKind kind, const char* fullName) {
    guardNamesAcrossFork();
    static const bool hookedExit = std::atexit(removeOwnedNames) == 0;
    (void)hookedExit;
    ownedNames.insert(fullName, OwnedName{kind, ::getpid()});
}

}  // namespace zolt::posix
