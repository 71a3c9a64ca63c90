// Start-up when the dynamic loader maps the library.
#include "library.h"

namespace {

__attribute__((constructor)) void startUpAtLoad() { zolt::startUpTheLibrary(); }

}  // namespace
