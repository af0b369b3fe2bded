// The redundancy manager: which role this service processor plays in the
// redundant pair, remote commands to the other processor, and keeping the
// backup's copies of files current (a byte range, a whole file, a delete).
//
// Every call returns null on success or an ErrlEntry* the caller owns.
// Remote commands are delivered on the backup to the handler registered for
// the target component; a library registers its handler when it is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platformExport.h"

class ErrlEntry;
class NetcMessage;

// Role of this service processor in the redundant pair.
enum tovRole : uint32_t {
    TOV_ROLE_BACKUP = 0,
    TOV_ROLE_PRIMARY = 1,
    TOV_ROLE_UNKNOWN = 4,
};

// Serves one remote command on the backup: reads request, fills response.
typedef ErrlEntry* (*rmgrRemoteHandler)(NetcMessage& request, NetcMessage& response);

PLATFORM_EXPORT ErrlEntry* rmgrGetTovRole(tovRole& role);

// Delivers request to the backup's handler for targetComponent and returns
// once the handler has filled response. timeout: 0 for the default; wait:
// true to wait for the response.
PLATFORM_EXPORT ErrlEntry* rmgrInvokeRemoteCommand(NetcMessage& request, NetcMessage& response,
                                                   uint16_t sourceComponent,
                                                   uint16_t targetComponent, uint32_t timeout,
                                                   bool wait);

// The backup's copy of path holds the same bytes as this processor's in
// [offset, offset + length) (created when missing).
PLATFORM_EXPORT ErrlEntry* rmgrSyncFileChunk(uint16_t component, const char* path,
                                             uint64_t offset, uint32_t length);
// Deletes the backup's copy of path (a copy that is already gone is no
// failure).
PLATFORM_EXPORT ErrlEntry* rmgrDeleteFile(uint16_t component, const char* path);
// The backup's copy of path becomes equal to this processor's file.
PLATFORM_EXPORT ErrlEntry* rmgrStreamSync(const char* path, uint16_t component);

// Read-only view of the backup's copies, for programs that compare the
// mirror with this processor's files. On the service processor the
// redundancy manager serves these reads from the backup's file system over
// the link that carries the syncs; nothing on either side is changed.
//
// Whether the backup holds a copy of path, and its length.
PLATFORM_EXPORT ErrlEntry* rmgrBackupFileSize(uint16_t component, const char* path, bool& exists,
                                              uint64_t& size);
// Copies up to length bytes at offset of the backup's copy of path into
// buffer; count is the number copied (fewer where the copy ends, 0 at or
// beyond its end). A missing copy is a failure.
PLATFORM_EXPORT ErrlEntry* rmgrReadBackupFile(uint16_t component, const char* path, uint64_t offset,
                                              uint32_t length, void* buffer, uint32_t& count);
// Appends the names of the entries of directory dir on the backup, except
// "." and "..", in the C library's collating order.
PLATFORM_EXPORT ErrlEntry* rmgrListBackupDirectory(uint16_t component, const char* dir,
                                                   std::vector<std::string>& names);

// Makes handler the backup's server of remote commands addressed to
// component (replacing an earlier one; null removes it).
PLATFORM_EXPORT void rmgrRegisterHandler(uint16_t component, rmgrRemoteHandler handler);
