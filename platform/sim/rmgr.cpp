// The redundancy manager on the host. The backup service processor is the
// tree $PLATSIM_ROOT/backup: file syncs copy from this processor's tree to
// it, and a remote command runs the registered handler in this process as
// the backup would (BackupScope: role 0, the backup's file system). The role
// comes from sim/role. When sim/rmgr.log exists, every call except the role
// query appends one line to it. Faults: rmgrGetTovRole,
// rmgrInvokeRemoteCommand (subject: the target component as 0xNNNN),
// rmgrSyncFileChunk, rmgrDeleteFile, rmgrStreamSync (subject: the path).
#include "platform/rmgr.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "backupCopy.h"
#include "platform/netcMessage.h"
#include "simCore.h"

using platsim::detail::currentSide;
using platsim::detail::fault;
using platsim::detail::hostPath;
using platsim::detail::Side;

namespace {

enum : uint16_t {
    RC_ROLE = 0x1601,
    RC_INVOKE = 0x1602,
    RC_NO_HANDLER = 0x1603,
    RC_SYNC = 0x1604,
    RC_DELETE = 0x1605,
    RC_STREAM = 0x1606,
};

ErrlEntry* rmgrError(uint16_t reason, const char* what, const std::string& resource, int err,
                     const platsim::detail::Fault* injected) {
    if (injected) err = static_cast<int>(injected->num("errno", EIO));
    return platsim::detail::platformError(platsim::detail::COMP_RMGR, reason, 1, what, resource,
                                          err, injected);
}

struct Handlers {
    std::mutex mutex;
    std::map<uint16_t, rmgrRemoteHandler> byComponent;
};

Handlers& handlers() {
    static Handlers h;
    return h;
}

// Appends one line to sim/rmgr.log of root when that file exists.
void logCall(const platsim::detail::RootView& root, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void logCall(const platsim::detail::RootView& root, const char* fmt, ...) {
    if (!root.control().rmgrLog) return;
    int saved = errno;
    int fd = ::open((root.root() + "/sim/rmgr.log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        char line[512];
        va_list args;
        va_start(args, fmt);
        int n = std::vsnprintf(line, sizeof line - 1, fmt, args);
        va_end(args);
        if (n > static_cast<int>(sizeof line) - 2) n = static_cast<int>(sizeof line) - 2;
        line[n++] = '\n';
        if (::write(fd, line, static_cast<size_t>(n)) != n) {
            // the log is a diagnostic aid; a lost line changes nothing
        }
        ::close(fd);
    }
    errno = saved;
}

// Makes the backup's copy follow the local file (syncRange, syncWhole); an
// error entry when that fails. On the backup there is nothing to copy.
ErrlEntry* copyToBackup(uint16_t reason, const char* what, const std::string& spPath,
                        uint64_t offset, uint64_t length, bool whole) {
    if (currentSide() == Side::Backup) return nullptr;  // the backup is this processor
    int err = whole ? platsim::detail::syncWhole(spPath)
                    : platsim::detail::syncRange(spPath, offset, length);
    return err ? rmgrError(reason, what, spPath, err, nullptr) : nullptr;
}

}  // namespace

ErrlEntry* rmgrGetTovRole(tovRole& role) {
    const auto& root = platsim::detail::currentRoot();
    if (auto f = fault(root, "rmgrGetTovRole", ""))
        return rmgrError(RC_ROLE, "role query", "tov role", 0, &*f);
    int value = platsim::detail::inBackupScope() ? 0 : root.control().role;
    role = static_cast<tovRole>(value);
    return nullptr;
}

ErrlEntry* rmgrInvokeRemoteCommand(NetcMessage& request, NetcMessage& response,
                                   uint16_t sourceComponent, uint16_t targetComponent, uint32_t,
                                   bool) {
    // "0xNNNN", the subject of its fault.
    char target[7] = {'0', 'x'};
    for (int i = 0; i < 4; ++i) target[2 + i] = "0123456789ABCDEF"[(targetComponent >> (12 - 4 * i)) & 0xF];
    target[6] = '\0';
    const auto& root = platsim::detail::currentRoot();
    logCall(root, "rmgrInvokeRemoteCommand 0x%04X %s %u", static_cast<unsigned>(sourceComponent), target,
            static_cast<unsigned>(request.getMessageType()));
    if (auto f = fault(root, "rmgrInvokeRemoteCommand", target))
        return rmgrError(RC_INVOKE, "remote command", target, 0, &*f);
    rmgrRemoteHandler handler = nullptr;
    {
        Handlers& h = handlers();
        std::lock_guard<std::mutex> lock(h.mutex);
        auto it = h.byComponent.find(targetComponent);
        if (it != h.byComponent.end()) handler = it->second;
    }
    if (!handler)
        return rmgrError(RC_NO_HANDLER, "remote command (no handler on the backup)", target,
                         ENOENT, nullptr);
    platsim::detail::BackupScope asBackup;
    return handler(request, response);
}

ErrlEntry* rmgrSyncFileChunk(uint16_t component, const char* path, uint64_t offset,
                             uint32_t length) {
    std::string p = path ? path : "";
    const auto& root = platsim::detail::currentRoot();
    logCall(root, "rmgrSyncFileChunk 0x%04X %s %llu %u", static_cast<unsigned>(component), p.c_str(),
            static_cast<unsigned long long>(offset), static_cast<unsigned>(length));
    if (auto f = fault(root, "rmgrSyncFileChunk", p)) return rmgrError(RC_SYNC, "sync file chunk", p, 0, &*f);
    return copyToBackup(RC_SYNC, "sync file chunk", p, offset, length, false);
}

ErrlEntry* rmgrDeleteFile(uint16_t component, const char* path) {
    std::string p = path ? path : "";
    const auto& root = platsim::detail::currentRoot();
    logCall(root, "rmgrDeleteFile 0x%04X %s", static_cast<unsigned>(component), p.c_str());
    if (auto f = fault(root, "rmgrDeleteFile", p)) return rmgrError(RC_DELETE, "delete on backup", p, 0, &*f);
    if (currentSide() == Side::Backup) return nullptr;
    if (::unlink(hostPath(Side::Backup, p).c_str()) != 0 && errno != ENOENT)
        return rmgrError(RC_DELETE, "delete on backup", p, errno, nullptr);
    return nullptr;
}

ErrlEntry* rmgrStreamSync(const char* path, uint16_t component) {
    std::string p = path ? path : "";
    const auto& root = platsim::detail::currentRoot();
    logCall(root, "rmgrStreamSync 0x%04X %s", static_cast<unsigned>(component), p.c_str());
    if (auto f = fault(root, "rmgrStreamSync", p)) return rmgrError(RC_STREAM, "stream sync", p, 0, &*f);
    return copyToBackup(RC_STREAM, "stream sync", p, 0, 0, true);
}

void rmgrRegisterHandler(uint16_t component, rmgrRemoteHandler handler) {
    Handlers& h = handlers();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (handler)
        h.byComponent[component] = handler;
    else
        h.byComponent.erase(component);
}
