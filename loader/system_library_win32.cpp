#include <windows.h>

#include "system_library.h"
#include "zolt_loader.h"

namespace zolt_loader {

const char* const kLibraryFileName = "Zolt.dll";

// Windows looks in the program's own folder first.
void* openLibrary(const char* fileName, std::string& error) {
    HMODULE library = ::LoadLibraryA(fileName);
    if (library == nullptr) error = "error " + std::to_string(::GetLastError());
    return reinterpret_cast<void*>(library);
}

void* findFunction(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string programFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self(path, length < MAX_PATH ? length : 0);
    return self.substr(0, self.find_last_of('\\'));
}

}  // namespace zolt_loader
