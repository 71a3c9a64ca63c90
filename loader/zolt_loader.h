// Loading the Zolt library at run time by its file name and binding its five
// functions by name, as every host program here does: the driver, the
// console, the benchmarks and the tests.
#pragma once

#include <string>

#include "zolt.h"

namespace zolt_loader {

// The library's file name as the platform's loader looks it up. Programs built
// with zolt_library_host() find it beside themselves first.
extern const char* const kLibraryFileName;

// The folder that holds the running program, where the library is looked
// for first; empty if the system does not say.
std::string programFolder();

// The five functions of a loaded library; any that the library lacks is null.
struct ZoltFunctions {
    decltype(&ZoltMasterOpen) open = nullptr;
    decltype(&ZoltMasterWrite) write = nullptr;
    decltype(&ZoltMasterRead) read = nullptr;
    decltype(&ZoltMasterEvent) event = nullptr;
    decltype(&ZoltMasterClose) close = nullptr;
};

// Which of the five a host needs, for firstMissing.
enum Needed : unsigned {
    kOpen = 1u << 0,
    kWrite = 1u << 1,
    kRead = 1u << 2,
    kEvent = 1u << 3,
    kClose = 1u << 4,
    kAllFunctions = kOpen | kWrite | kRead | kEvent | kClose,
};

// Loads the library file and looks up the five functions. False if the file
// cannot be loaded; `error` then says why, in the system's words. The library
// stays loaded until the process ends.
bool load(const char* fileName, ZoltFunctions& functions, std::string& error);

// The name of the first needed function that is null, in the order open,
// write, read, event, close; null when every needed one is bound.
const char* firstMissing(const ZoltFunctions& functions, unsigned needed = kAllFunctions);

}  // namespace zolt_loader
