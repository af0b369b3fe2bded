#include "atomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace platdump {

namespace {

// The temporary file that an interrupting signal removes; empty when none.
char g_pending[PATH_MAX];
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void removePendingAndDie(int sig) {
    if (g_pending[0] != '\0') ::unlink(g_pending);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void watch(const std::string& path) {
    std::strncpy(g_pending, path.c_str(), sizeof g_pending - 1);
    for (int sig : kSignals) std::signal(sig, removePendingAndDie);
}

void unwatch() {
    for (int sig : kSignals) std::signal(sig, SIG_DFL);
    g_pending[0] = '\0';
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

AtomicFile::AtomicFile(std::string finalPath) : iv_final(std::move(finalPath)) {}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open(std::string& why) {
    std::string templ = directoryOf(iv_final) + "/." + baseOf(iv_final) + ".XXXXXX";
    if (templ.size() >= sizeof g_pending) {
        why = "the path " + iv_final + " is too long";
        return false;
    }
    iv_fd = ::mkstemp(templ.data());
    if (iv_fd < 0) return fail("cannot create a temporary file beside " + iv_final, why);
    iv_temporary = templ;
    watch(iv_temporary);
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(iv_fd, 0666 & ~mask) != 0) return fail("cannot set the mode of " + iv_temporary, why);
    return true;
}

bool AtomicFile::write(const void* data, size_t length, std::string& why) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = ::write(iv_fd, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("cannot write " + iv_temporary, why);
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit(std::string& why) {
    if (::fsync(iv_fd) != 0) return fail("cannot flush " + iv_temporary, why);
    int fd = iv_fd;
    iv_fd = -1;
    if (::close(fd) != 0) return fail("cannot close " + iv_temporary, why);
    if (::rename(iv_temporary.c_str(), iv_final.c_str()) != 0)
        return fail("cannot rename " + iv_temporary + " to " + iv_final, why);
    iv_temporary.clear();
    unwatch();
    int dir = ::open(directoryOf(iv_final).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);  // the rename itself reaches the disk
        ::close(dir);
    }
    return true;
}

bool AtomicFile::fail(const std::string& action, std::string& why) {
    why = action + ": " + std::strerror(errno);
    discard();
    return false;
}

void AtomicFile::discard() {
    if (iv_fd >= 0) ::close(iv_fd);
    iv_fd = -1;
    if (!iv_temporary.empty()) ::unlink(iv_temporary.c_str());
    iv_temporary.clear();
    unwatch();
}

}  // namespace platdump
