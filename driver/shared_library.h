// Run-time loading of a shared library and lookup of its functions by name.
#pragma once

namespace driver {

// The library's file name as the platform's loader expects it.
extern const char* const kZoltLibraryName;
// Where the demo expects its slave, relative to the current directory on Linux.
extern const char* const kSlavePath;

// A handle to the loaded library, or null if it cannot be loaded.
void* loadLibrary(const char* fileName);
// The address of the named function, or null.
void* findFunction(void* library, const char* name);

// Lets standard output carry "\r\n" exactly as written.
void useBinaryStandardOutput();

}  // namespace driver
