// Bringing the backup's copy in line for one difference, with the calls
// the library itself makes of the redundancy manager for repository files:
// a byte range synchronised (rmgrSyncFileChunk, which creates a missing
// copy) in pieces of the library's chunk size, and a copy deleted
// (rmgrDeleteFile). This processor's files are only read.
#pragma once

#include <string>

#include "mirrorPlan.h"

namespace platdump {
namespace mirror {

// Empty when done; otherwise why it was not (a failed call, or a file
// that has appeared here since it was compared and is compared again).
std::string bringInLine(const Difference& difference);

}  // namespace mirror
}  // namespace platdump
