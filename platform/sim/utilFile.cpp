// UtilFile on the host: paths of the service processor resolve below the
// simulation root; every operation can be made to fail (faults named
// UtilFile.Open, .Close, .read, .write, .seek, .Remove, .remove). A file
// this object opened keeps its position itself and transfers with pread
// and pwrite, so a seek is no system call; positions outside what every
// host file system accepts, seeks from the end and files opened for
// appending go through lseek as the C library would. Opening, removing and
// asking whether a file exists work out the root; the calls on an open
// file use the root this thread last worked out, its own.
#include "platform/utilFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::armedFault;
using platsim::detail::currentRoot;
using platsim::detail::Fault;
using platsim::detail::fault;
using platsim::detail::hostPathOf;
using platsim::detail::lastRoot;
using platsim::detail::platformError;

namespace {

enum : uint16_t {
    RC_OPEN = 0x1101,
    RC_READ = 0x1102,
    RC_WRITE = 0x1103,
    RC_SEEK = 0x1104,
    RC_CLOSE = 0x1105,
    RC_REMOVE = 0x1106,
    RC_NOT_OPEN = 0x1107,
};

// Positions below this are valid on every host file system, so a seek to
// one cannot fail; lseek judges the others.
constexpr int64_t kKeptPositionLimit = int64_t(1) << 40;

ErrlEntry* fileError(uint16_t reason, const char* what, const std::string& path, int err,
                     const Fault* injected, uint32_t word2 = 0, uint32_t word3 = 0) {
    if (injected) err = static_cast<int>(injected->num("errno", EIO));
    ErrlEntry* e = platformError(platsim::detail::COMP_UTIL_FILE, reason,
                                 static_cast<uint32_t>(err), what, path, err, injected, word2,
                                 word3);
    errno = err;
    return e;
}

bool openFlags(const char* mode, int& flags) {
    // The mode without its 'b's: at most two letters.
    char m[3] = {0};
    size_t n = 0;
    for (const char* c = mode ? mode : ""; *c; ++c) {
        if (*c == 'b') continue;
        if (n == 2) return false;
        m[n++] = *c;
    }
    const bool plus = m[1] == '+';
    if (m[1] != '\0' && !plus) return false;
    switch (m[0]) {
    case 'r': flags = plus ? O_RDWR : O_RDONLY; break;
    case 'w': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
    case 'a': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    default: return false;
    }
    flags |= O_CLOEXEC;
    return true;
}

// A fault armed on this thread's last root: one comparison when none is.
inline bool anyFault() { return __builtin_expect(!lastRoot().control().faults.empty(), 0); }

// What an armed fault makes of a transfer of size bytes on path: its
// failure, or null with limit cut to the fault's bytes= (a short transfer).
// Out of line, so that a transfer without faults stays small.
__attribute__((noinline, cold)) ErrlEntry* transferFault(const char* call, uint16_t reason,
                                                         const char* what, int err,
                                                         const char* path, uint32_t size,
                                                         uint32_t& limit) {
    auto f = armedFault(lastRoot(), call, path);
    if (!f) return nullptr;
    if (!f->has("bytes")) return fileError(reason, what, path, err, &*f, size);
    limit = static_cast<uint32_t>(std::min<uint64_t>(size, f->num("bytes", 0)));
    return nullptr;
}

// The failure an armed fault makes of call on path, or null.
__attribute__((noinline, cold)) ErrlEntry* callFault(const char* call, uint16_t reason,
                                                     const char* what, const char* path) {
    auto f = armedFault(lastRoot(), call, path);
    return f ? fileError(reason, what, path, EIO, &*f) : nullptr;
}

// Removes the file at an service-processor path; null or the failure.
ErrlEntry* removePath(const char* call, const std::string& path) {
    const auto& root = currentRoot();
    if (auto f = fault(root, call, path)) return fileError(RC_REMOVE, "remove", path, EIO, &*f);
    if (::unlink(hostPathOf(root, path).c_str()) != 0)
        return fileError(RC_REMOVE, "remove", path, errno, nullptr);
    return nullptr;
}

}  // namespace

UtilFile::UtilFile() { iv_inlinePath[0] = '\0'; }

UtilFile::UtilFile(const char* path) { setFileName(path); }

UtilFile::UtilFile(FILE* stream) : iv_fd(stream ? fileno(stream) : -1) { setFileName("(stream)"); }

UtilFile::~UtilFile() {
    if (iv_ownsFd && iv_fd >= 0) ::close(iv_fd);
    if (iv_path != iv_inlinePath) delete[] iv_path;
}

void UtilFile::setFileName(const char* path) {
    const size_t length = path ? std::strlen(path) : 0;
    char* kept = length < kInlinePath ? iv_inlinePath : new char[length + 1];
    // path may be this object's own name: copied before the old one goes.
    if (length) std::memmove(kept, path, length);
    kept[length] = '\0';
    if (iv_path != iv_inlinePath && iv_path != kept) delete[] iv_path;
    iv_path = kept;
}

void UtilFile::Open(const char* mode, bool) {
    if (iv_ownsFd && iv_fd >= 0) ::close(iv_fd);
    iv_fd = -1;
    iv_ownsFd = false;
    iv_position = -1;
    int flags = 0;
    const auto& root = currentRoot();
    if (auto f = fault(root, "UtilFile.Open", iv_path)) {
        setError(fileError(RC_OPEN, "open", iv_path, EIO, &*f));
        return;
    }
    if (!openFlags(mode, flags)) {
        setError(fileError(RC_OPEN, "open (bad mode)", iv_path, EINVAL, nullptr));
        return;
    }
    int fd = ::open(hostPathOf(root, iv_path).c_str(), flags, 0644);
    if (fd < 0) {
        setError(fileError(RC_OPEN, "open", iv_path, errno, nullptr));
        return;
    }
    iv_fd = fd;
    iv_ownsFd = true;
    iv_position = (flags & O_APPEND) ? -1 : 0;
}

void UtilFile::Close() {
    if (iv_fd < 0) return;
    int fd = iv_fd;
    bool owned = iv_ownsFd;
    iv_fd = -1;
    iv_ownsFd = false;
    iv_position = -1;
    if (!owned) return;
    if (auto f = fault(lastRoot(), "UtilFile.Close", iv_path)) {
        ::close(fd);
        setError(fileError(RC_CLOSE, "close", iv_path, EIO, &*f));
        return;
    }
    if (::close(fd) != 0) setError(fileError(RC_CLOSE, "close", iv_path, errno, nullptr));
}

bool UtilFile::exists() const {
    if (!*iv_path) return false;
    int saved = errno;
    struct stat st;
    bool found = ::stat(hostPathOf(currentRoot(), iv_path).c_str(), &st) == 0;
    errno = saved;
    return found;
}

uint64_t UtilFile::size() const {
    struct stat st;
    if (iv_fd < 0 || ::fstat(iv_fd, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

uint32_t UtilFile::read(void* buffer, uint32_t size) {
    if (iv_fd < 0) {
        setError(fileError(RC_NOT_OPEN, "read (not open)", iv_path, EBADF, nullptr));
        return 0;
    }
    uint32_t limit = size;
    if (anyFault())
        if (ErrlEntry* e = transferFault("UtilFile.read", RC_READ, "read", EIO, iv_path, size, limit)) {
            setError(e);
            return 0;
        }
    uint32_t done = 0;
    char* p = static_cast<char*>(buffer);
    while (done < limit) {
        ssize_t n = iv_position < 0 ? ::read(iv_fd, p + done, limit - done)
                                    : ::pread(iv_fd, p + done, limit - done, iv_position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            setError(fileError(RC_READ, "read", iv_path, errno, nullptr, size));
            break;
        }
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    if (iv_position >= 0) iv_position += done;
    return done;
}

uint32_t UtilFile::write(const void* buffer, uint32_t size) {
    if (iv_fd < 0) {
        setError(fileError(RC_NOT_OPEN, "write (not open)", iv_path, EBADF, nullptr));
        return 0;
    }
    uint32_t limit = size;
    if (anyFault())
        if (ErrlEntry* e = transferFault("UtilFile.write", RC_WRITE, "write", ENOSPC, iv_path, size, limit)) {
            setError(e);
            return 0;
        }
    uint32_t done = 0;
    const char* p = static_cast<const char*>(buffer);
    while (done < limit) {
        ssize_t n = iv_position < 0 ? ::write(iv_fd, p + done, limit - done)
                                    : ::pwrite(iv_fd, p + done, limit - done, iv_position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            setError(fileError(RC_WRITE, "write", iv_path, n < 0 ? errno : ENOSPC, nullptr, size));
            break;
        }
        done += static_cast<uint32_t>(n);
    }
    if (iv_position >= 0) iv_position += done;
    return done;
}

int64_t UtilFile::seek(int64_t offset, whence from) {
    if (iv_fd < 0) {
        setError(fileError(RC_NOT_OPEN, "seek (not open)", iv_path, EBADF, nullptr));
        return -1;
    }
    if (anyFault())
        if (ErrlEntry* e = callFault("UtilFile.seek", RC_SEEK, "seek", iv_path)) {
            setError(e);
            return -1;
        }
    if (iv_position >= 0 && from != END) {
        int64_t target = 0;
        if (!__builtin_add_overflow(from == START ? 0 : iv_position, offset, &target) &&
            target >= 0 && target < kKeptPositionLimit)
            return iv_position = target;
        // lseek judges it from the position kept here.
        if (from == CURRENT && ::lseek(iv_fd, static_cast<off_t>(iv_position), SEEK_SET) < 0) {
            setError(fileError(RC_SEEK, "seek", iv_path, errno, nullptr));
            return -1;
        }
    }
    int how = from == START ? SEEK_SET : from == END ? SEEK_END : SEEK_CUR;
    off_t pos = ::lseek(iv_fd, static_cast<off_t>(offset), how);
    if (pos < 0) {
        setError(fileError(RC_SEEK, "seek", iv_path, errno, nullptr));
        return -1;
    }
    if (iv_position >= 0) iv_position = static_cast<int64_t>(pos);
    return static_cast<int64_t>(pos);
}

void UtilFile::Remove() {
    if (ErrlEntry* e = removePath("UtilFile.Remove", iv_path)) setError(e);
}

ErrlEntry* UtilFile::remove(const char* path) {
    return removePath("UtilFile.remove", path ? path : "");
}
