// The two commands of zolt-objects and their exit codes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zolt_objects {

enum ExitCode {
    kExitDone = 0,         // listed; or every unused object in reach removed
    kExitFailed = 1,       // the folder could not be read, or a removal failed
    kExitUsage = 2,        // bad arguments
    kExitStemsLeft = 3,    // clean: a stem named on the command line still has objects
};

struct CleanOptions {
    bool dryRun = false;
    bool allUsers = false;
    // Count processes whose maps could not be read as using nothing.
    bool ignoreUninspected = false;
    std::vector<std::string> stems;  // empty: every stem
};

int listObjects(std::ostream& out, std::ostream& err);
int cleanObjects(const CleanOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zolt_objects
