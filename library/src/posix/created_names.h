// Remembers the names of the objects this process created or reused, and
// removes them when the process exits normally, so a clean run leaves
// nothing behind, not even what a crashed host left and this one took over.
#pragma once

namespace zolt::posix {

enum class NamedObjectKind { SharedMemory, Semaphore };

void rememberOwnedName(NamedObjectKind kind, const char* fullName);

}  // namespace zolt::posix
