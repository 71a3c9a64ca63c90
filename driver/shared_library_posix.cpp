#include <dlfcn.h>

#include "shared_library.h"

namespace driver {

const char* const kZoltLibraryName = "libZolt.so";
const char* const kSlavePath = "Datas/Morva/Brivex/Brivex";

void* loadLibrary(const char* fileName) { return ::dlopen(fileName, RTLD_NOW); }

void* findFunction(void* library, const char* name) { return ::dlsym(library, name); }

// POSIX streams never translate line ends.
void useBinaryStandardOutput() {}

}  // namespace driver
