// DumpUtilFile: the file class through which the library writes and
// removes every repository file. On the primary service processor (role 1)
// open, write and remove also act on the backup's copy through the
// redundancy manager; writes stop when the file system reaches its
// free-space floor (7 % of its blocks for paths in /plat_dump, 12 % for
// others). Backup failures never fail the local operation.
#pragma once

#include <cstdint>
#include <cstdio>

#include "dumpExport.h"
#include "platform/netcMessage.h"
#include "platform/utilFile.h"

class PLATDUMP_EXPORT DumpUtilFile : public UtilFile {
public:
    explicit DumpUtilFile(const char* path);
    explicit DumpUtilFile(FILE* stream);
    DumpUtilFile();
    ~DumpUtilFile() override;

    // Opens the file ("r", "r+", "w+"); on the primary asks the backup to
    // create its copy when missing. Returns the local open failure, or null.
    ErrlEntry* open(const char* mode);
    // Writes in chunks of 128 KiB, each after a free-space check and each
    // mirrored; returns the bytes written locally.
    uint32_t write(const void* buffer, uint32_t length) override;
    // One write at the current position, no space check, mirrored.
    uint32_t writeDirect(const void* buffer, uint32_t length);
    // Removes this file here and on the backup; then takes the pending
    // error (the local removal's, or one an earlier step left) or null.
    ErrlEntry* remove();
    static ErrlEntry* remove(const char* path);
    // Pushes a file outside /plat_dump to the backup.
    void Sync();

    // Result of the latest free-space check: at or below the floor, or the
    // check failed.
    bool iv_diskFull;
    // Used blocks in percent, from the latest successful check (0 before
    // the first).
    uint32_t iv_percentUsed;

private:
    // The free-space check run before each chunk of write: sets
    // iv_diskFull and iv_percentUsed; true when writing must stop.
    bool belowFreeSpaceFloor();
};

// Serves the remote commands the library sends to the backup service
// processor (type 5: create the file if it is missing). Called by the
// redundancy manager on the backup for component 0xF000.
extern "C" PLATDUMP_EXPORT ErrlEntry* dumpRemoteProcessMessage(NetcMessage& request,
                                                               NetcMessage& response);
