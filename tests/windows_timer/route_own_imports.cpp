// Linked into a test program of its own: routes the program's imports
// through the emulated Windows timer before main runs, and lets the tests
// read how often the program waited.
#include "emulated_timer.h"

namespace {

[[maybe_unused]] const int routed = zolt_test::emulated_timer::route(::GetModuleHandleW(nullptr));
[[maybe_unused]] const bool published = zolt_test::emulated_timer::publishCounts();

}  // namespace
