// The redundancy manager's read-only view of the backup's copies on the
// host: the backup service processor is the tree $PLATSIM_ROOT/backup,
// whatever the role of this processor. Nothing is written, not even the
// call log of sim/rmgr.log. Faults: rmgrBackupFileSize, rmgrReadBackupFile,
// rmgrListBackupDirectory (subject: the path).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/rmgr.h"
#include "simCore.h"

using platsim::detail::fault;
using platsim::detail::hostPath;
using platsim::detail::Side;

namespace {

enum : uint16_t {
    RC_BACKUP_SIZE = 0x1607,
    RC_BACKUP_READ = 0x1608,
    RC_BACKUP_LIST = 0x1609,
};

ErrlEntry* viewError(uint16_t reason, const char* what, const std::string& resource, int err,
                     const platsim::detail::Fault* injected) {
    if (injected) err = static_cast<int>(injected->num("errno", EIO));
    return platsim::detail::platformError(platsim::detail::COMP_RMGR, reason, 1, what, resource, err, injected);
}

std::string backupPath(const char* path) { return hostPath(Side::Backup, path ? path : ""); }

}  // namespace

ErrlEntry* rmgrBackupFileSize(uint16_t, const char* path, bool& exists, uint64_t& size) {
    const std::string p = path ? path : "";
    exists = false;
    size = 0;
    if (auto f = fault("rmgrBackupFileSize", p)) return viewError(RC_BACKUP_SIZE, "backup file size", p, 0, &*f);
    struct stat st;
    if (::stat(backupPath(path).c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return nullptr;
        return viewError(RC_BACKUP_SIZE, "backup file size", p, errno, nullptr);
    }
    exists = true;
    size = static_cast<uint64_t>(st.st_size);
    return nullptr;
}

ErrlEntry* rmgrReadBackupFile(uint16_t, const char* path, uint64_t offset, uint32_t length, void* buffer,
                              uint32_t& count) {
    const std::string p = path ? path : "";
    count = 0;
    if (auto f = fault("rmgrReadBackupFile", p)) return viewError(RC_BACKUP_READ, "backup file read", p, 0, &*f);
    int fd = ::open(backupPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return viewError(RC_BACKUP_READ, "backup file read", p, errno, nullptr);
    char* out = static_cast<char*>(buffer);
    while (count < length) {
        ssize_t n = ::pread(fd, out + count, length - count, static_cast<off_t>(offset + count));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            return viewError(RC_BACKUP_READ, "backup file read", p, err, nullptr);
        }
        if (n == 0) break;
        count += static_cast<uint32_t>(n);
    }
    ::close(fd);
    return nullptr;
}

ErrlEntry* rmgrListBackupDirectory(uint16_t, const char* dir, std::vector<std::string>& names) {
    const std::string p = dir ? dir : "";
    if (auto f = fault("rmgrListBackupDirectory", p))
        return viewError(RC_BACKUP_LIST, "backup directory listing", p, 0, &*f);
    struct dirent** entries = nullptr;
    int count = ::scandir(backupPath(dir).c_str(), &entries, nullptr, alphasort);
    if (count < 0) return viewError(RC_BACKUP_LIST, "backup directory listing", p, errno, nullptr);
    for (int i = 0; i < count; ++i) {
        const char* name = entries[i]->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names.push_back(name);
        free(entries[i]);
    }
    free(entries);
    return nullptr;
}
