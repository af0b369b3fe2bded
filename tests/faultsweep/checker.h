// `platdump check` as the sweep runs it: the tool's passes, called as a
// library, on the repository of a simulation root (the run's own, or a
// snapshot the lifecycle took), the mirror left out. Each finding goes to
// the record with the moment it stands for.
#pragma once

#include <string>

#include "record.h"

namespace sweep {

// The moments the sweep checks.
constexpr char kBeforeOffload[] = "before the offload";
constexpr char kAfterOffload[] = "after the offload";
constexpr char kAfterRun[] = "after the run";

// The kind under which the record keeps a file the check could not read.
constexpr char kCheckCannotRead[] = "unreadable";

// Checks the repository of the simulation root root (its files only, with
// no fault armed there) and adds each finding to record as found when.
// A root without a repository (no snapshot was taken) is skipped.
// Returns whether there was a repository to check.
bool checkRoot(RunRecord& record, const std::string& root, const char* when);

}  // namespace sweep
