// The C library calls the dump library makes on repository paths, routed
// through the platform so that every path is resolved (and may be made to
// fail) the same way as the platform's file objects. Same contracts as the
// POSIX calls of the same names: -1 (or a negative count) and errno on
// failure.
#pragma once

#include <dirent.h>
#include <sys/statfs.h>
#include <sys/types.h>

#include "platformExport.h"

namespace plat {

PLATFORM_EXPORT int scandir(const char* dir, struct dirent*** namelist,
                            int (*filter)(const struct dirent*),
                            int (*compar)(const struct dirent**, const struct dirent**));
PLATFORM_EXPORT int statfs(const char* path, struct statfs* buf);
PLATFORM_EXPORT int truncate(const char* path, off_t length);

}  // namespace plat
