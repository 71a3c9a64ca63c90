#include "loaded_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>

namespace zolt_test {

namespace {

template <typename Function>
void bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr) {
        ADD_FAILURE() << "libZolt.so lacks " << name;
        std::abort();
    }
}

ZoltFunctions load() {
    void* library = ::dlopen("libZolt.so", RTLD_NOW);
    if (library == nullptr) {
        ADD_FAILURE() << "cannot load libZolt.so: " << ::dlerror();
        std::abort();
    }
    ZoltFunctions functions;
    bind(library, "ZoltMasterOpen", functions.open);
    bind(library, "ZoltMasterWrite", functions.write);
    bind(library, "ZoltMasterRead", functions.read);
    bind(library, "ZoltMasterEvent", functions.event);
    bind(library, "ZoltMasterClose", functions.close);
    return functions;
}

}  // namespace

const ZoltFunctions& zolt() {
    static const ZoltFunctions functions = load();
    return functions;
}

std::string binaryFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return self.substr(0, self.rfind('/'));
}

}  // namespace zolt_test
