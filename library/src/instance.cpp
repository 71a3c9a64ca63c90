// The process's one library, on the platform's system. Built in static
// storage and never destroyed: pollers may still run while the process exits,
// and unloading releases nothing.
#include <new>

#include "library.h"
#include "system_os.h"

namespace zolt {

namespace {

alignas(SystemOs) unsigned char osStorage[sizeof(SystemOs)];
alignas(Library) unsigned char libraryStorage[sizeof(Library)];
Library* instance = nullptr;

}  // namespace

void startUpTheLibrary() {
    Os* os = new (osStorage) SystemOs();
    instance = new (libraryStorage) Library(*os);
    instance->startUp();
}

Library& theLibrary() { return *instance; }

}  // namespace zolt
