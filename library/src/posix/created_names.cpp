#include "created_names.h"

#include <cstdlib>

#include <semaphore.h>
#include <sys/mman.h>

#include "name_table.h"

namespace zolt::posix {

namespace {

// A host that creates more distinct names than this leaves the extra ones in
// place at exit.
NameTable<NamedObjectKind, 256> createdNames;

void removeCreatedNames() {
    createdNames.drain([](const char* name, NamedObjectKind kind) {
        if (kind == NamedObjectKind::SharedMemory) {
            ::shm_unlink(name);
        } else {
            ::sem_unlink(name);
        }
    });
}

}  // namespace

void rememberCreatedName(NamedObjectKind kind, const char* fullName) {
    static const bool hookedExit = std::atexit(removeCreatedNames) == 0;
    (void)hookedExit;
    createdNames.insert(fullName, kind);
}

}  // namespace zolt::posix
