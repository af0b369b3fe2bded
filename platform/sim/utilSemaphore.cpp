// Named semaphores on the host: a semaphore of count 1 is an exclusive
// flock on $PLATSIM_ROOT/sim/sem/<name>.<id>. The lock belongs to the open
// file description, so it is dropped when its holder dies. A forked child
// that inherits an object would share its parent's description, and so its
// lock: Down opens the file afresh in a process other than the one that
// opened it (one getpid per Down). Faults: UtilSemaphore.init, .Down, .Up (match=
// compares with "<name>.<id>").
#include "platform/utilSemaphore.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::fault;
using platsim::detail::platformError;

namespace {

enum : uint16_t {
    RC_INIT = 0x1301,
    RC_DOWN = 0x1302,
    RC_UP = 0x1303,
};

ErrlEntry* semError(uint16_t reason, const char* what, const std::string& key, int err,
                    const platsim::detail::Fault* injected = nullptr) {
    return platformError(platsim::detail::COMP_UTIL_SEM, reason, 1, what, key, err, injected);
}

// The directory is made the first time it is found missing.
int openSem(const std::string& root, const char* key) {
    const auto path = platsim::detail::joinedPath(root, "/sim/sem/", key);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != ENOENT) return fd;
    platsim::detail::makeHostDirs(root + "/sim/sem");
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

}  // namespace

UtilSemaphore::UtilSemaphore(int) {}

UtilSemaphore::~UtilSemaphore() {
    if (iv_fd >= 0) {
        if (iv_held) ::flock(iv_fd, LOCK_UN);
        ::close(iv_fd);
    }
}

ErrlEntry* UtilSemaphore::init(const char* name, uint8_t id, uint32_t initialCount) {
    // "<name>.<id>", a '/' of the name made '_' (the name is cut to fit).
    size_t n = 0;
    for (const char* c = name ? name : ""; *c && n < sizeof iv_key - 5; ++c) iv_key[n++] = *c == '/' ? '_' : *c;
    iv_key[n++] = '.';
    if (id >= 100) iv_key[n++] = static_cast<char>('0' + id / 100);
    if (id >= 10) iv_key[n++] = static_cast<char>('0' + id / 10 % 10);
    iv_key[n++] = static_cast<char>('0' + id % 10);
    iv_key[n] = '\0';
    const auto& root = platsim::detail::currentRoot();
    if (auto f = fault(root, "UtilSemaphore.init", iv_key))
        return semError(RC_INIT, "semaphore init", iv_key, 0, &*f);
    if (initialCount != 1)
        return semError(RC_INIT, "semaphore init (only count 1 is supported)", iv_key, EINVAL);
    if (iv_fd >= 0) ::close(iv_fd);
    iv_held = false;
    iv_fd = openSem(root.root(), iv_key);
    if (iv_fd < 0) return semError(RC_INIT, "semaphore init", iv_key, errno);
    iv_pid = ::getpid();
    return nullptr;
}

ErrlEntry* UtilSemaphore::Down(uint32_t) {
    if (auto f = fault(platsim::detail::lastRoot(), "UtilSemaphore.Down", iv_key))
        return semError(RC_DOWN, "semaphore down", iv_key, 0, &*f);
    if (iv_fd < 0) return semError(RC_DOWN, "semaphore down (not initialised)", iv_key, EINVAL);
    if (const int me = ::getpid(); me != iv_pid) {
        // Inherited across a fork: this process's own description, not held.
        ::close(iv_fd);
        iv_held = false;
        iv_fd = openSem(platsim::detail::currentRoot().root(), iv_key);
        if (iv_fd < 0) return semError(RC_DOWN, "semaphore down (reopen in a forked child)", iv_key, errno);
        iv_pid = me;
    }
    if (iv_held) return semError(RC_DOWN, "semaphore down (already held)", iv_key, EDEADLK);
    int rc;
    do {
        rc = ::flock(iv_fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return semError(RC_DOWN, "semaphore down", iv_key, errno);
    iv_held = true;
    return nullptr;
}

ErrlEntry* UtilSemaphore::Up(uint32_t) {
    if (auto f = fault(platsim::detail::lastRoot(), "UtilSemaphore.Up", iv_key))
        return semError(RC_UP, "semaphore up", iv_key, 0, &*f);
    if (iv_fd < 0 || !iv_held)
        return semError(RC_UP, "semaphore up (not held)", iv_key, EPERM);
    iv_held = false;
    if (::flock(iv_fd, LOCK_UN) != 0) return semError(RC_UP, "semaphore up", iv_key, errno);
    return nullptr;
}
