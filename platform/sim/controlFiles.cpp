// The control files of a root and its generation counter.
//
// sim/control holds the counter as a 32-bit word in this host's byte order,
// changed only with atomic operations on the shared mapping. It is only
// ever compared for equality, so a process of the other byte order (the
// PowerPC build under qemu on the same root) still sees every bump.
#include "controlFiles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "simCore.h"

namespace platsim {
namespace detail {

namespace {

constexpr off_t kControlBytes = 64;

bool endsWith(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

ControlState readControlFiles(const std::string& root) {
    int saved = errno;
    ControlState s;
    const std::string sim = root + "/sim";
    std::string text;
    uint64_t role = 1;
    // A role file that does not hold a number is role 1.
    if (readHostFile(sim + "/role", text) && parseNumber(text, role)) s.role = static_cast<int>(role);
    struct stat st;
    s.rmgrLog = ::stat((sim + "/rmgr.log").c_str(), &st) == 0;
    const std::string fail = sim + "/fail";
    if (DIR* dir = ::opendir(fail.c_str())) {
        while (struct dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || endsWith(name, ".state")) continue;
            // A fault file that exists but cannot be read fails every call.
            text.clear();
            if (!readHostFile(fail + "/" + name, text) && (errno == ENOENT || errno == ENOTDIR)) continue;
            s.faults[name] = text;
        }
        ::closedir(dir);
    }
    errno = saved;
    return s;
}

uint32_t* mapGeneration(const std::string& root) {
    int saved = errno;
    const std::string path = root + "/sim/control";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    void* map = MAP_FAILED;
    struct stat st;
    // Two processes may make it at once: both only ever lengthen it.
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_size >= kControlBytes || ::ftruncate(fd, kControlBytes) == 0))
        map = ::mmap(nullptr, kControlBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (fd >= 0) ::close(fd);
    errno = saved;
    return map == MAP_FAILED ? nullptr : static_cast<uint32_t*>(map);
}

void unmapGeneration(uint32_t* counter) { ::munmap(counter, kControlBytes); }

void bumpGeneration(uint32_t* counter) {
    if (counter) __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST);
}

}  // namespace detail
}  // namespace platsim
