// The real shared library, loaded by file name as a host would load it.
#pragma once

#include "test_platform.h"
#include "zolt.h"

namespace zolt_test {

struct ZoltFunctions {
    decltype(&ZoltMasterOpen) open = nullptr;
    decltype(&ZoltMasterWrite) write = nullptr;
    decltype(&ZoltMasterRead) read = nullptr;
    decltype(&ZoltMasterEvent) event = nullptr;
    decltype(&ZoltMasterClose) close = nullptr;
};

// Binds the five functions; aborts the test program if it cannot.
const ZoltFunctions& zolt();

}  // namespace zolt_test
