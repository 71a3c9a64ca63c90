#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "system_library.h"
#include "zolt_loader.h"

namespace zolt_loader {

const char* const kLibraryFileName = ZOLT_LIBRARY_FILE;

// A bare file name is looked up through the calling program's run path: the
// program's own folder for programs built with zolt_library_host().
void* openLibrary(const char* fileName, std::string& error) {
    void* library = ::dlopen(fileName, RTLD_NOW);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }
    return library;
}

void* findFunction(void* library, const char* name) { return ::dlsym(library, name); }

std::string programFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string self(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return self.substr(0, self.rfind('/'));
}

}  // namespace zolt_loader
