// Copying this processor's files to the backup's tree, with the
// descriptors of the pairs synced lately kept open.
#include "backupCopy.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "simCore.h"

namespace platsim {
namespace detail {

namespace {

constexpr size_t kCopyBuffer = 64 * 1024;
constexpr size_t kPairsKept = 4;

// Opens the backup's copy of spPath for writing, creating it (and its
// directories) when missing.
int openBackupCopy(const std::string& spPath, int extraFlags) {
    std::string target = hostPath(Side::Backup, spPath);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | extraFlags;
    int fd = ::open(target.c_str(), flags, 0644);
    size_t slash = target.rfind('/');
    if (fd >= 0 || errno != ENOENT || slash == std::string::npos || slash == 0) return fd;
    makeHostDirs(target.substr(0, slash));
    return ::open(target.c_str(), flags, 0644);
}

// Copies [offset, offset + length) from fd in to fd out; false with errno
// on a failed read or write. Stops early at the end of in, setting ended.
bool copyRange(int in, int out, uint64_t offset, uint64_t length, bool& ended) {
    std::vector<char> buf(static_cast<size_t>(std::min<uint64_t>(length, kCopyBuffer)));
    ended = false;
    while (length > 0) {
        size_t want = length < buf.size() ? static_cast<size_t>(length) : buf.size();
        ssize_t n = ::pread(in, buf.data(), want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            ended = true;
            return true;
        }
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::pwrite(out, buf.data() + done, static_cast<size_t>(n - done),
                                 static_cast<off_t>(offset + static_cast<uint64_t>(done)));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = ENOSPC;
                return false;
            }
            done += w;
        }
        offset += static_cast<uint64_t>(n);
        length -= static_cast<uint64_t>(n);
    }
    return true;
}

// Where the local file in ends before rangeEnd, the copy out ends where it
// does.
bool endCopyWithLocal(int in, int out, uint64_t rangeEnd) {
    struct stat local, copy;
    if (::fstat(in, &local) != 0) return false;
    if (static_cast<uint64_t>(local.st_size) >= rangeEnd) return true;
    if (::fstat(out, &copy) != 0) return true;
    return copy.st_size <= local.st_size || ::ftruncate(out, local.st_size) == 0;
}

// Opens the local file of spPath for reading. The copy's read is no access
// of the file's: it leaves the access time alone where the file allows.
int openLocal(const std::string& spPath) {
    std::string source = hostPath(Side::Primary, spPath);
    int fd = ::open(source.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC);
    if (fd >= 0 || errno != EPERM) return fd;
    return ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
}

// Whether the file open on fd still has its name: removing the file, or
// replacing it with a new one, takes its last link. Only the link count is
// asked for: a look at the times would make the file system stamp the next
// write of the file with a fine-grained time, at the cost of an inode
// update per write.
bool stillNamed(int fd) {
    struct statx st;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_NLINK, &st) == 0) return st.stx_nlink > 0;
    struct stat full;
    return errno == ENOSYS && ::fstat(fd, &full) == 0 && full.st_nlink > 0;
}

// One local file and its backup copy, both open.
struct Pair {
    std::string root;
    std::string spPath;
    int local = -1;
    int copy = -1;
};

void closePair(Pair& p) {
    if (p.local >= 0) ::close(p.local);
    if (p.copy >= 0) ::close(p.copy);
    p.local = p.copy = -1;
}

// The pairs synced lately, the most recent last. Guarded by mutex.
struct Pairs {
    std::mutex mutex;
    std::vector<Pair> kept;

    // The pair of spPath under root, opened when it is not kept or a file
    // of it lost its name; null with errno when a file cannot be opened.
    Pair* get(const std::string& root, const std::string& spPath) {
        for (auto it = kept.begin(); it != kept.end();) {
            bool stale = it->root != root ||
                         (it->spPath == spPath && !(stillNamed(it->local) && stillNamed(it->copy)));
            if (stale) closePair(*it);
            it = stale ? kept.erase(it) : it + 1;
        }
        for (Pair& p : kept)
            if (p.spPath == spPath) return &p;
        Pair p{root, spPath, openLocal(spPath)};
        if (p.local < 0) return nullptr;
        p.copy = openBackupCopy(spPath, 0);
        if (p.copy < 0) {
            int err = errno;
            closePair(p);
            errno = err;
            return nullptr;
        }
        if (kept.size() == kPairsKept) {
            closePair(kept.front());
            kept.erase(kept.begin());
        }
        kept.push_back(p);
        return &kept.back();
    }

    void drop(Pair* p) {
        closePair(*p);
        kept.erase(kept.begin() + (p - kept.data()));
    }
};

Pairs& pairs() {
    static Pairs* p = new Pairs;  // lives to exit
    return *p;
}

}  // namespace

int syncRange(const std::string& spPath, uint64_t offset, uint64_t length) {
    Pairs& all = pairs();
    std::lock_guard<std::mutex> lock(all.mutex);
    Pair* p = all.get(root(), spPath);
    if (!p) return errno;
    // The local file's size is asked only where the copy may have to end:
    // the range ran past its end, or was empty.
    bool ended = false;
    bool ok = copyRange(p->local, p->copy, offset, length, ended);
    if (ok && (ended || length == 0)) ok = endCopyWithLocal(p->local, p->copy, offset + length);
    if (ok) return 0;
    int err = errno;
    all.drop(p);
    return err;
}

int syncWhole(const std::string& spPath) {
    int in = openLocal(spPath);
    if (in < 0) return errno;
    int out = openBackupCopy(spPath, O_TRUNC);
    if (out < 0) {
        int err = errno;
        ::close(in);
        return err;
    }
    bool ended = false;
    bool ok = copyRange(in, out, 0, UINT64_MAX, ended);
    int err = ok ? 0 : errno;
    ::close(in);
    ::close(out);
    return err;
}

}  // namespace detail
}  // namespace platsim
