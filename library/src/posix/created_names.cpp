#include "created_names.h"

#include <cstdlib>
#include <cstring>

#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include "name_table.h"
#include "stem_claims.h"
#include "zolt_protocol.h"

namespace zolt::posix {

namespace {

// A host that owns more distinct names than this leaves the extra ones in
// place at exit.
// Each name with the process that took it: a forked child inherits the
// table, and its exit must leave its parent's channels alone.
struct OwnedName {
    NamedObjectKind kind;
    pid_t owner;
};
NameTable<OwnedName, 256> ownedNames;

// Another host may have opened the stem since this one closed its channel:
// the names are that host's now.
bool heldByAnotherHost(const char* fullName) {
    // The system's prefix, the stem, two letters.
    constexpr std::size_t kPrefixLength = sizeof(ZOLT_SYSTEM_NAME_PREFIX) - 1;
    const std::size_t stemLength = std::strlen(fullName) - kPrefixLength - 2;
    char claim[ZOLT_CLAIM_NAME_CAPACITY];
    if (stemLength + sizeof(ZOLT_CLAIM_SUFFIX) > sizeof claim) return true;
    std::memcpy(claim, fullName + kPrefixLength, stemLength);
    std::memcpy(claim + stemLength, ZOLT_CLAIM_SUFFIX, sizeof(ZOLT_CLAIM_SUFFIX));
    return !claimFreeOrOurs(claim);
}

void removeOwnedNames() {
    const pid_t self = ::getpid();
    ownedNames.drain([self](const char* name, OwnedName owned) {
        if (owned.owner != self || heldByAnotherHost(name)) return;
        if (owned.kind == NamedObjectKind::SharedMemory) {
            ::shm_unlink(name);
        } else {
            ::sem_unlink(name);
        }
    });
}

}  // namespace

void rememberOwnedName(NamedObjectKind kind, const char* fullName) {
    static const bool hookedExit = std::atexit(removeOwnedNames) == 0;
    (void)hookedExit;
    ownedNames.insert(fullName, OwnedName{kind, ::getpid()});
}

}  // namespace zolt::posix
