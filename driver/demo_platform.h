// What the driver does differently per platform: where its demo slave lies,
// and how standard output keeps its line ends.
#pragma once

namespace driver {

// Where the demo expects its slave, relative to the current directory on Linux.
extern const char* const kSlavePath;

// Lets standard output carry "\r\n" exactly as written.
void useBinaryStandardOutput();

}  // namespace driver
