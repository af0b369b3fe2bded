#include "fuzz/fuzzRoot.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/sim/platsim.h"

namespace fuzzsupport {

namespace {

constexpr int kRoleUnknown = 4;
// Free space as the simulation reports it: half of a large file system,
// so that no write stops at the free-space floor whatever the host has.
constexpr uint64_t kTotalBlocks = 1u << 24, kFreeBlocks = 1u << 23;

std::string baseDirectory() {
    if (const char* dir = std::getenv("PLATDUMP_FUZZ_DIR"); dir && *dir) return dir;
    if (::access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// The root's path outlives every static object: the removal runs at exit.
const std::string* g_root = nullptr;

void removeRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(*g_root, ignored);
}

std::string makeRoot() {
    std::string templ = baseDirectory() + "/platdump-fuzz-XXXXXX";
    if (!::mkdtemp(templ.data())) {
        std::perror(templ.c_str());
        std::abort();
    }
    ::setenv("PLATSIM_ROOT", templ.c_str(), 1);
    platsim::root();
    platsim::setRole(kRoleUnknown);
    platsim::setStatfs(kTotalBlocks, kFreeBlocks);
    return templ;
}

}  // namespace

const std::string& processRoot() {
    if (!g_root) {
        g_root = new std::string(makeRoot());
        std::atexit(removeRoot);
    }
    return *g_root;
}

std::string hostPath(const std::string& spPath) {
    processRoot();
    return platsim::hostPath(spPath);
}

void writeWhole(const std::string& path, const void* data, size_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size) || ::close(fd) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

void discardLogs() {
    const std::string logs[] = {
        platsim::errlogPath(),
        processRoot() + "/sim/mbox.log",
        processRoot() + "/sim/smgr.log",
    };
    for (const std::string& log : logs) {
        ::unlink(log.c_str());
        if (::symlink("/dev/null", log.c_str()) != 0) {
            std::perror(log.c_str());
            std::abort();
        }
    }
}

}  // namespace fuzzsupport
