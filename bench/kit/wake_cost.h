// What the library's wake-up after raising the state byte costs an exchange
// when no slave waits for it (Linux; zero elsewhere).
#pragma once

namespace kit_bench {

// The best mean over a few runs of many wakes, in nanoseconds.
double wakeNanoseconds();

}  // namespace kit_bench
