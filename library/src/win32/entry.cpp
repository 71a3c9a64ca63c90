// Start-up when the loader attaches the DLL to a process. The instance is
// built in static storage and never destroyed: unloading releases nothing.
#include <windows.h>

#include <new>

#include "library.h"
#include "system_os.h"

namespace zolt {

namespace {

alignas(SystemOs) unsigned char osStorage[sizeof(SystemOs)];
alignas(Library) unsigned char libraryStorage[sizeof(Library)];
Library* instance = nullptr;

void startUp() {
    Os* os = new (osStorage) SystemOs();
    instance = new (libraryStorage) Library(*os);
    instance->startUp();
}

// FreeLibrary must never unmap code that the pollers still run.
void pinModule() {
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCSTR>(&startUp), &self);
}

}  // namespace

Library& theLibrary() { return *instance; }

}  // namespace zolt

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        zolt::pinModule();
        zolt::startUp();
    }
    return TRUE;
}
