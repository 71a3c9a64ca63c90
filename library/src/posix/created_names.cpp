#include "created_names.h"

#include <cstdlib>

#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include "name_table.h"

namespace zolt::posix {

namespace {

// A host that creates more distinct names than this leaves the extra ones in
// place at exit.
// Each name with the process that created it: a forked child inherits the
// table, and its exit must leave its parent's channels alone.
struct CreatedName {
    NamedObjectKind kind;
    pid_t creator;
};
NameTable<CreatedName, 256> createdNames;

void removeCreatedNames() {
    const pid_t self = ::getpid();
    createdNames.drain([self](const char* name, CreatedName created) {
        if (created.creator != self) return;
        if (created.kind == NamedObjectKind::SharedMemory) {
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
    createdNames.insert(fullName, CreatedName{kind, ::getpid()});
}

}  // namespace zolt::posix
