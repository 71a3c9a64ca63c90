#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "shared_library.h"

namespace driver {

const char* const kZoltLibraryName = "Zolt.dll";
const char* const kSlavePath = "C:\\Datas\\Morva\\Brivex\\Brivex.exe";

void* loadLibrary(const char* fileName) { return reinterpret_cast<void*>(::LoadLibraryA(fileName)); }

void* findFunction(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

// Text mode would turn each "\r\n" into "\r\r\n".
void useBinaryStandardOutput() { ::_setmode(::_fileno(stdout), _O_BINARY); }

}  // namespace driver
