// Linked into a test program of its own: routes the program's imports
// through the emulated Windows timer before main runs.
#include "emulated_timer.h"

namespace {

[[maybe_unused]] const int routed = zolt_test::emulated_timer::route(::GetModuleHandleW(nullptr));

}  // namespace
