// DumpCollections: the dump repository as a whole. The repository is the
// directory MOUNT_POINT; each dump's summary file there is named from its
// kind's prefix (SYSDUMP, HWUDUMP, RESDUMP), the id as %08X and ".summary".
#pragma once

#include "dumpExport.h"

class PLATDUMP_EXPORT DumpCollections {
public:
    // "/plat_dump": every path the library builds in the repository starts
    // with it.
    static const char MOUNT_POINT[11];
    // Summary-file prefixes: "SYSDUMP.", "HWUDUMP.", "RESDUMP.".
    static const char SYSDUMP[9];
    static const char HWUDUMP[9];
    static const char RESDUMP[9];
};
