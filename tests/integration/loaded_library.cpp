#include "loaded_library.h"

#include <cstdio>
#include <cstdlib>

namespace zolt_test {

namespace {

template <typename Function>
void bind(const char* name, Function& function) {
    function = reinterpret_cast<Function>(loadZoltFunction(name));
    if (function == nullptr) {
        std::fprintf(stderr, "cannot load the library or find %s in it\n", name);
        std::abort();
    }
}

ZoltFunctions load() {
    ZoltFunctions functions;
    bind("ZoltMasterOpen", functions.open);
    bind("ZoltMasterWrite", functions.write);
    bind("ZoltMasterRead", functions.read);
    bind("ZoltMasterEvent", functions.event);
    bind("ZoltMasterClose", functions.close);
    return functions;
}

}  // namespace

const ZoltFunctions& zolt() {
    static const ZoltFunctions functions = load();
    return functions;
}

}  // namespace zolt_test
