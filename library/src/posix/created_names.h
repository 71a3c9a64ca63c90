// Remembers the names of the objects this process created, and removes them
// when the process exits normally, so a clean run leaves nothing behind.
// Objects left by a crashed host are simply reused by the next open.
#pragma once

namespace zolt::posix {

enum class NamedObjectKind { SharedMemory, Semaphore };

void rememberCreatedName(NamedObjectKind kind, const char* fullName);

}  // namespace zolt::posix
