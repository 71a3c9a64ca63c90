#include "created_names.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include <semaphore.h>
#include <sys/mman.h>

namespace zolt::posix {

namespace {

// Fixed room, like everything else in the library. A host that creates more
// distinct names than this leaves the extra ones in place at exit.
constexpr int kCapacity = 256;
constexpr std::size_t kNameCapacity = 112;

struct CreatedName {
    NamedObjectKind kind;
    char name[kNameCapacity];
};

std::mutex registryLock;
CreatedName registry[kCapacity];
int registered = 0;

void removeCreatedNames() {
    std::lock_guard lock(registryLock);
    for (int i = 0; i < registered; ++i) {
        if (registry[i].kind == NamedObjectKind::SharedMemory) {
            ::shm_unlink(registry[i].name);
        } else {
            ::sem_unlink(registry[i].name);
        }
    }
    registered = 0;
}

}  // namespace

void rememberCreatedName(NamedObjectKind kind, const char* fullName) {
    std::lock_guard lock(registryLock);
    if (registered == 0) {
        static const bool hookedExit = std::atexit(removeCreatedNames) == 0;
        (void)hookedExit;
    }
    for (int i = 0; i < registered; ++i) {
        if (registry[i].kind == kind && std::strcmp(registry[i].name, fullName) == 0) return;
    }
    if (registered == kCapacity || std::strlen(fullName) >= kNameCapacity) return;
    registry[registered].kind = kind;
    std::strcpy(registry[registered].name, fullName);
    ++registered;
}

}  // namespace zolt::posix
