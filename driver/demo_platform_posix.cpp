#include "demo_platform.h"

namespace driver {

const char* const kSlavePath = "Datas/Morva/Brivex/Brivex";

// POSIX streams never translate line ends.
void useBinaryStandardOutput() {}

}  // namespace driver
