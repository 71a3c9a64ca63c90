// The platform's own calls for loading a shared library: dlopen or LoadLibraryA.
#pragma once

#include <string>

namespace zolt_loader {

// A handle to the loaded library, or null; then `error` says why.
void* openLibrary(const char* fileName, std::string& error);
// The address of the named function, or null.
void* findFunction(void* library, const char* name);

}  // namespace zolt_loader
