// Stem claims as abstract Unix sockets: a name bound by one socket at a time,
// visible to every process, with no file behind it, gone once its process
// has ended however it ended. A forked child does not keep its parent's.
#pragma once

#include "os.h"

namespace zolt::posix {

ClaimResult claimStem(const char* name, ClaimHandle& claim);
void releaseStemClaim(ClaimHandle claim);

// True unless a process other than this one holds the claim `name`.
bool claimFreeOrOurs(const char* name);

}  // namespace zolt::posix
