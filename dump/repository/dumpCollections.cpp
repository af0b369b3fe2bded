// The repository's names.
#include "platdump/dumpCollections.h"

const char DumpCollections::MOUNT_POINT[11] = "/plat_dump";
const char DumpCollections::SYSDUMP[9] = "SYSDUMP.";
const char DumpCollections::HWUDUMP[9] = "HWUDUMP.";
const char DumpCollections::RESDUMP[9] = "RESDUMP.";
