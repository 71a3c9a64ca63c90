// Start-up when the dynamic loader maps the library. The instance is built in
// static storage and never destroyed: pollers may still run while the process
// exits, and unloading releases nothing.
#include <new>

#include "library.h"
#include "system_os.h"

namespace zolt {

namespace {

alignas(SystemOs) unsigned char osStorage[sizeof(SystemOs)];
alignas(Library) unsigned char libraryStorage[sizeof(Library)];
Library* instance = nullptr;

__attribute__((constructor)) void startUpAtLoad() {
    Os* os = new (osStorage) SystemOs();
    instance = new (libraryStorage) Library(*os);
    instance->startUp();
}

}  // namespace

Library& theLibrary() { return *instance; }

}  // namespace zolt
