#include "kept_handles.h"

#include <cstring>
#include <mutex>

namespace zolt::win32 {

namespace {

constexpr int kCapacity = 256;
constexpr std::size_t kNameCapacity = 112;

struct Kept {
    NamedKind kind;
    char name[kNameCapacity];
    HANDLE handle;
};

std::mutex keptLock;
Kept kept[kCapacity];
int keptCount = 0;

}  // namespace

HANDLE keptHandle(NamedKind kind, const char* name) {
    std::lock_guard lock(keptLock);
    for (int i = 0; i < keptCount; ++i) {
        if (kept[i].kind == kind && std::strcmp(kept[i].name, name) == 0) return kept[i].handle;
    }
    return nullptr;
}

void keepHandle(NamedKind kind, const char* name, HANDLE handle) {
    std::lock_guard lock(keptLock);
    if (keptCount == kCapacity || std::strlen(name) >= kNameCapacity) return;
    kept[keptCount].kind = kind;
    std::strcpy(kept[keptCount].name, name);
    kept[keptCount].handle = handle;
    ++keptCount;
}

}  // namespace zolt::win32
