// The real shared library, loaded by file name as a host would load it.
#pragma once

#include "test_platform.h"
#include "zolt_loader.h"

namespace zolt_test {

using zolt_loader::ZoltFunctions;

// Binds the five functions; aborts the test program if it cannot.
const ZoltFunctions& zolt();

}  // namespace zolt_test
