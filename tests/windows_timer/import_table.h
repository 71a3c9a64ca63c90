// Rewrites entries of a loaded module's import address table, so that the
// module's calls to a system function land somewhere else. Works on PE
// images of the build's own width, 32 or 64 bits.
#pragma once

#include <windows.h>

namespace zolt_test {

struct ImportReplacement {
    const char* function;  // the imported name, whatever DLL it comes from
    void* replacement;
};

// Points every import of `module` named in `replacements` at its
// replacement. Returns how many table entries were rewritten.
int replaceImports(HMODULE module, const ImportReplacement* replacements, int count);

}  // namespace zolt_test
