// DumpUtilFile: local file operations mirrored to the backup service
// processor through the redundancy manager, writes bounded by the file
// system's free-space floor; and dumpRemoteProcessMessage, the backup's
// server of the create-file command. Backup failures are traced or
// committed here and never reach the caller.
#include "platdump/dumpUtilFile.h"

#include <errno.h>

#include <cstring>
#include <string>

#include "dump/support/dumpTrace.h"
#include "dump/support/mountPoint.h"
#include "dump/support/report.h"
#include "platdump/dumpTypes.h"
#include "platform/errlEntry.h"
#include "platform/posixFs.h"
#include "platform/rmgr.h"

namespace dump {
namespace {

constexpr uint32_t kChunkSize = 0x20000;
constexpr uint32_t kRepositoryFloorPercent = 7;
constexpr uint32_t kOtherFloorPercent = 12;
constexpr uint16_t kCreateFileCommand = 5;
constexpr uint16_t kStatusExists = 0;
constexpr uint16_t kStatusMissing = 1;
constexpr uint32_t kDefaultTimeout = 0;

constexpr Site kRemoteRoleQuery{0x0217, 2};

bool inRepository(const char* path) {
    return std::strstr(path, kMountPoint) != nullptr;
}

// The role of this processor; a failed query counts as role 4 (nothing is
// mirrored or served).
tovRole roleOrUnknown() {
    tovRole role = TOV_ROLE_UNKNOWN;
    ErrlEntry* e = rmgrGetTovRole(role);
    if (e) {
        trace("DumpUtilFile: role query failed, rc 0x%X", e->getRC());
        discard(e);
        return TOV_ROLE_UNKNOWN;
    }
    return role;
}

// Mirrors one chunk at the position the write's seek returned, whatever
// that seek did (its error stays pending for the caller).
void syncChunk(const char* path, int64_t position, uint32_t length) {
    ErrlEntry* e = rmgrSyncFileChunk(DUMP_COMPONENT_ID, path, static_cast<uint64_t>(position), length);
    if (e) {
        trace("DumpUtilFile: rmgrSyncFileChunk(%s, %lld, %u) failed, rc 0x%X", path,
              static_cast<long long>(position), length, e->getRC());
        discard(e);
    }
}

// Asks the backup to create its copy of path when it is missing.
void createOnBackup(const char* path) {
    NetcMessage request;
    NetcMessage response;
    request.setMessageType(kCreateFileCommand);
    request.setData(path, static_cast<uint32_t>(std::strlen(path) + 1));
    ErrlEntry* e = rmgrInvokeRemoteCommand(request, response, DUMP_COMPONENT_ID, DUMP_COMPONENT_ID,
                                           kDefaultTimeout, true);
    if (e) {
        trace("DumpUtilFile: remote create of %s failed, rc 0x%X", path, e->getRC());
        discard(e);
        return;
    }
    if (response.getStatus() != kStatusExists)
        trace("DumpUtilFile: backup reports %s missing, status %u", path, response.getStatus());
}

// On the primary, deletes the backup's copy; a failure is committed with
// the path under key.
void removeOnBackup(const char* path, const char* key) {
    trace("DumpUtilFile: remove %s", path);
    if (roleOrUnknown() != TOV_ROLE_PRIMARY) return;
    ErrlEntry* e = withDetails(rmgrDeleteFile(DUMP_COMPONENT_ID, path), key, path);
    commit(e);
}

// Traces the local removal's outcome; errno stays as the removal left it.
ErrlEntry* tracedLocalRemoval(const char* path, ErrlEntry* e) {
    int err = errno;
    trace("DumpUtilFile: local remove of %s %s", path, e ? "failed" : "done");
    errno = err;
    return e;
}

}  // namespace
}  // namespace dump

using namespace dump;

DumpUtilFile::DumpUtilFile(const char* path)
    : UtilFile(path), iv_diskFull(false), iv_percentUsed(0) {}

DumpUtilFile::DumpUtilFile(FILE* stream)
    : UtilFile(stream), iv_diskFull(false), iv_percentUsed(0) {}

DumpUtilFile::DumpUtilFile() : UtilFile(), iv_diskFull(false), iv_percentUsed(0) {}

DumpUtilFile::~DumpUtilFile() { iv_diskFull = false; }

ErrlEntry* DumpUtilFile::open(const char* mode) {
    Open(mode, false);
    ErrlEntry* e = dump::takeError(*this);
    if (e) {
        trace("DumpUtilFile: open(%s, %s) failed, rc 0x%X", getFileName(), mode ? mode : "",
              e->getRC());
        return e;
    }
    if (roleOrUnknown() == TOV_ROLE_PRIMARY) createOnBackup(getFileName());
    return nullptr;
}

bool DumpUtilFile::belowFreeSpaceFloor() {
    struct statfs fs;
    if (plat::statfs(getFileName(), &fs) != 0) {
        trace("DumpUtilFile: statfs(%s) failed, errno %d", getFileName(), errno);
        iv_diskFull = true;
        return true;
    }
    // The percentage is worked in unsigned 32-bit arithmetic, wrapping
    // product and all, because the system section's readers decode it so.
    uint32_t blocks32 = static_cast<uint32_t>(fs.f_blocks);
    uint32_t free32 = static_cast<uint32_t>(fs.f_bfree);
    if (blocks32 != 0) iv_percentUsed = ((blocks32 - free32) * 1000u / blocks32 + 5u) / 10u;
    uint64_t blocks = fs.f_blocks;
    uint64_t freeBlocks = fs.f_bfree;
    uint32_t percent = inRepository(getFileName()) ? kRepositoryFloorPercent : kOtherFloorPercent;
    uint64_t floor = blocks * percent / 100;
    if (freeBlocks > floor) {
        iv_diskFull = false;
        return false;
    }
    trace("DumpUtilFile: %s full: %llu free, floor %llu", getFileName(),
          static_cast<unsigned long long>(freeBlocks), static_cast<unsigned long long>(floor));
    iv_diskFull = true;
    return true;
}

uint32_t DumpUtilFile::write(const void* buffer, uint32_t length) {
    bool mirror = roleOrUnknown() == TOV_ROLE_PRIMARY;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    uint32_t total = 0;
    while (length > 0) {
        if (belowFreeSpaceFloor()) break;
        int64_t position = seek(0, CURRENT);
        uint32_t chunk = length < kChunkSize ? length : kChunkSize;
        uint32_t count = UtilFile::write(p, chunk);
        if (count != chunk) trace("DumpUtilFile: wrote %u of %u to %s", count, chunk, getFileName());
        length -= count;
        total += count;
        p += count;
        if (mirror) syncChunk(getFileName(), position, chunk);
        if (count == 0) break;  // no progress: stop rather than spin
    }
    return total;
}

uint32_t DumpUtilFile::writeDirect(const void* buffer, uint32_t length) {
    int64_t position = seek(0, CURRENT);
    uint32_t count = UtilFile::write(buffer, length);
    if (roleOrUnknown() == TOV_ROLE_PRIMARY) syncChunk(getFileName(), position, length);
    return count;
}

ErrlEntry* DumpUtilFile::remove() {
    removeOnBackup(getFileName(), "File remove on back up TOV failed");
    // The pending error is taken after the removal: one that an earlier
    // step left is the answer too.
    Remove();
    return tracedLocalRemoval(getFileName(), dump::takeError(*this));
}

ErrlEntry* DumpUtilFile::remove(const char* path) {
    const char* p = path ? path : "";
    removeOnBackup(p, "rmgrDeleteFile() rets error.");
    return tracedLocalRemoval(p, UtilFile::remove(p));
}

void DumpUtilFile::Sync() {
    trace("DumpUtilFile: sync %s", getFileName());
    if (inRepository(getFileName())) return;
    ErrlEntry* e = withDetails(rmgrStreamSync(getFileName(), DUMP_COMPONENT_ID),
                               "File sync on back up TOV failed", getFileName());
    commit(e);
}

extern "C" ErrlEntry* dumpRemoteProcessMessage(NetcMessage& request, NetcMessage& response) {
    uint16_t type = request.getMessageType();
    tovRole role = TOV_ROLE_UNKNOWN;
    if (ErrlEntry* e = rmgrGetTovRole(role)) return passedAt(e, kRemoteRoleQuery, 0);
    if (role != TOV_ROLE_BACKUP) {
        trace("dumpRemoteProcessMessage: role %u, type %u not served", static_cast<unsigned>(role),
              type);
        return nullptr;
    }
    if (type != kCreateFileCommand) {
        trace("dumpRemoteProcessMessage: unknown type %u", type);
        return nullptr;
    }
    const char* data = reinterpret_cast<const char*>(request.getData());
    std::string path = data ? std::string(data, strnlen(data, request.getDataLength())) : "";
    if (path.empty()) trace("dumpRemoteProcessMessage: empty path");
    UtilFile file(path.c_str());
    if (!file.exists()) {
        file.Open("w+", false);
        file.Close();
        file.clearError();
    }
    bool exists = file.exists();
    if (!exists) trace("dumpRemoteProcessMessage: %s still missing", path.c_str());
    response.setComponent(DUMP_COMPONENT_ID);
    response.setMessageType(kCreateFileCommand);
    response.setStatus(exists ? kStatusExists : kStatusMissing);
    return nullptr;
}

namespace {

// The backup serves the library's remote commands from the moment the
// library is loaded.
struct RemoteHandlerRegistration {
    RemoteHandlerRegistration() { rmgrRegisterHandler(DUMP_COMPONENT_ID, &dumpRemoteProcessMessage); }
};
const RemoteHandlerRegistration g_registration;

}  // namespace
