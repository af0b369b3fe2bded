// Paths of the repository's per-dump files that the library builds from a
// dump id, shared by the status log's writer and the orphan sweep, which
// must agree on them character for character.
#pragma once

#include <cstdio>
#include <string>

#include "dump/support/mountPoint.h"

namespace dump {

// "/plat_dump/dumpstatus.<id as %08X>".
inline std::string statusLogPath(unsigned int dumpId) {
    char path[64];
    std::snprintf(path, sizeof path, "%s/dumpstatus.%08X", kMountPoint, dumpId);
    return path;
}

}  // namespace dump
