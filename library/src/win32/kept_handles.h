// One handle per named object for the life of the process. Creating a named
// object that exists already yields a new handle every time; keeping the
// first one instead means a host that opens channels all day does not
// collect handles, and a re-open always finds the same object.
#pragma once

#include <windows.h>

namespace zolt::win32 {

enum class NamedKind { Mapping, Event };

// The handle kept for the name, or null.
HANDLE keptHandle(NamedKind kind, const char* name);
// Keeps `handle` for the name; once the fixed room is full it is simply not
// kept (nor closed).
void keepHandle(NamedKind kind, const char* name, HANDLE handle);

}  // namespace zolt::win32
