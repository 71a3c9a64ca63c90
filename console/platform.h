// What the console needs from the system beyond standard C++.
#pragma once

#include <string>

namespace console {

// The system's reason for the last failed call of this thread (errno, or
// GetLastError on Windows), in its own words; empty when it names none.
// Taken right after the call, before anything else can change it.
std::string lastSystemError();
void clearSystemError();

bool standardInputIsTerminal();

// Until catchInterrupt, Ctrl-C is ignored, and so it is for good by the
// slaves started meanwhile: Ctrl-C at a terminal reaches every program of
// the console's, and the console is the one to close the channel.
void ignoreInterrupt();
// After this, the first Ctrl-C sets interrupted() and ends a blocking read
// of standard input; a second one ends the program at once.
void catchInterrupt();
bool interrupted();

}  // namespace console
