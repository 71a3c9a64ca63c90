// Start-up when the loader attaches the DLL to a process.
#include <windows.h>

#include "library.h"

namespace {

// FreeLibrary must never unmap code that the pollers still run.
void pinModule() {
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCSTR>(&pinModule), &self);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        pinModule();
        zolt::startUpTheLibrary();
    }
    return TRUE;
}
