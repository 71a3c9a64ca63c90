// Remembers the names of the objects this process created or reused, and
// removes them when the process exits normally, so a clean run leaves
// nothing behind, not even what a crashed host left and this one took over.
#pragma once

namespace zolt::posix {

enum class NamedObjectKind { SharedMemory, Semaphore };

void rememberOwnedName(NamedObjectKind kind, const char* fullName);

// Makes a fork wait until no thread is changing the table of names or the
// claims, so the child's copies are whole and unlocked: a child whose exit
// found the table locked would hang in the clean-up. Once per process.
void guardNamesAcrossFork();

}  // namespace zolt::posix
