// Stem claims as abstract Unix sockets: a name bound by one socket at a time,
// visible to every process, with no file behind it, gone once its process
// has ended however it ended. A forked child does not keep its parent's.
#pragma once

#include "os.h"

namespace zolt::posix {

ClaimResult claimStem(const char* name, ClaimHandle& claim);
void releaseStemClaim(ClaimHandle claim);

// At exit, before removing a stem's objects: true unless a process other
// than this one holds the claim `name`. When true, `hold` is a descriptor
// that holds the claim until the caller closes it (no host can open the stem
// while its objects are being removed), or -1 where this process held it
// already.
bool holdUnlessAnothers(const char* name, int& hold);

// Around a fork (see guardNamesAcrossFork): the claims and the table of them
// change under one lock, so a child never inherits a claim it does not know.
void lockClaimsForFork();
void unlockClaimsAfterFork(bool inChild);

}  // namespace zolt::posix
