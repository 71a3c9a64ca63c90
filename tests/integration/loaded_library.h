// The real shared library, loaded by file name as a host would load it.
#pragma once

#include <string>

#include "zolt.h"

namespace zolt_test {

struct ZoltFunctions {
    decltype(&ZoltMasterOpen) open = nullptr;
    decltype(&ZoltMasterWrite) write = nullptr;
    decltype(&ZoltMasterRead) read = nullptr;
    decltype(&ZoltMasterEvent) event = nullptr;
    decltype(&ZoltMasterClose) close = nullptr;
};

// Loads "libZolt.so" through the usual search (the tests' RUNPATH is their
// own folder) and binds the five functions; fails the test if it cannot.
const ZoltFunctions& zolt();

// The folder that holds this test program, the library and the slaves.
std::string binaryFolder();

}  // namespace zolt_test
