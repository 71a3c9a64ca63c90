#include "loaded_library.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zolt_test {

namespace {

ZoltFunctions load() {
    ZoltFunctions functions;
    std::string error;
    if (!zolt_loader::load(zolt_loader::kLibraryFileName, functions, error)) {
        std::fprintf(stderr, "cannot load %s: %s\n", zolt_loader::kLibraryFileName, error.c_str());
        std::abort();
    }
    if (const char* missing = zolt_loader::firstMissing(functions)) {
        std::fprintf(stderr, "%s has no function %s\n", zolt_loader::kLibraryFileName, missing);
        std::abort();
    }
    return functions;
}

}  // namespace

const ZoltFunctions& zolt() {
    static const ZoltFunctions functions = load();
    return functions;
}

}  // namespace zolt_test
