// One handle per named object for the life of the process. Creating a named
// object that exists already yields a new handle every time; keeping the
// first one instead means a host that opens channels all day does not
// collect handles, and a re-open always finds the same object. Mapping and
// event names never clash: one ends in "SM", the other in "EM".
#pragma once

#include <windows.h>

#include "name_table.h"

namespace zolt::win32 {

// Once full, further handles are simply not kept (nor closed).
inline NameTable<HANDLE, 256> keptHandles;

}  // namespace zolt::win32
