// The C library calls on service-processor paths. statfs reports the host
// file system's figures unless $PLATSIM_ROOT/sim/statfs holds two numbers,
// total blocks and free blocks, which it then reports. Faults: scandir,
// statfs, truncate (errno=N sets the errno, default EIO).
#include "platform/posixFs.h"

#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "simCore.h"

using platsim::detail::fault;
using platsim::detail::hostPath;

namespace {

// True (with errno set) when an injected fault makes call fail.
bool injected(const char* call, const char* path) {
    auto f = fault(call, path ? path : "");
    if (!f) return false;
    errno = static_cast<int>(f->num("errno", EIO));
    return true;
}

}  // namespace

namespace plat {

int scandir(const char* dir, struct dirent*** namelist, int (*filter)(const struct dirent*),
            int (*compar)(const struct dirent**, const struct dirent**)) {
    if (injected("scandir", dir)) return -1;
    return ::scandir(hostPath(dir ? dir : "").c_str(), namelist, filter, compar);
}

int statfs(const char* path, struct statfs* buf) {
    if (injected("statfs", path)) return -1;
    if (::statfs(hostPath(path ? path : "").c_str(), buf) != 0) return -1;
    std::string text;
    if (platsim::detail::readHostFile(platsim::detail::root() + "/sim/statfs", text)) {
        unsigned long long total = 0, free = 0;
        if (std::sscanf(text.c_str(), "%llu %llu", &total, &free) == 2) {
            buf->f_blocks = total;
            buf->f_bfree = free;
            buf->f_bavail = free;
        }
    }
    return 0;
}

int truncate(const char* path, off_t length) {
    if (injected("truncate", path)) return -1;
    return ::truncate(hostPath(path ? path : "").c_str(), length);
}

}  // namespace plat
