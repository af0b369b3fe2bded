// File steps of the nodal section: failure rows, file ends, the repair's
// truncation.
#include "dump/nodal/nodalFiles.h"

#include <errno.h>

#include "dump/support/dumpTrace.h"
#include "platdump/dumpUtilFile.h"
#include "platform/posixFs.h"

namespace dump {
namespace nodal {

ErrlEntry* fileFailure(ErrlEntry* e, Site site, FileStep step, uint32_t word2, const char* key,
                       const char* path) {
    return withDetails(receivedAt(e, site, REASON_FILE, step, word2), key, path);
}

ErrlEntry* fileFailure(DumpUtilFile& file, Site site, FileStep step, uint32_t word2,
                       const char* key) {
    return fileFailure(takeError(file), site, step, word2, key, file.getFileName());
}

int64_t fileEnd(DumpUtilFile& file) { return file.seek(0, UtilStream::END); }

bool dropError(DumpUtilFile& file, const char* during) {
    ErrlEntry* e = takeError(file);
    if (!e) return false;
    trace("DumpNodalSection: %s of %s failed", during, file.getFileName());
    discard(e);
    return true;
}

int64_t truncateAndReopen(DumpUtilFile& file, uint64_t length) {
    file.Close();
    dropError(file, "close");
    if (plat::truncate(file.getFileName(), static_cast<off_t>(length)) != 0)
        trace("DumpNodalSection: truncate(%s, %llu) failed, errno %d", file.getFileName(),
              static_cast<unsigned long long>(length), errno);
    // Left open: a reopen that fails; traced, and the repair stops there.
    if (ErrlEntry* e = file.open("r+")) {
        trace("DumpNodalSection: reopening %s failed", file.getFileName());
        discard(e);
        return -1;
    }
    int64_t end = fileEnd(file);
    dropError(file, "seek to the end");
    if (end != static_cast<int64_t>(length))
        trace("DumpNodalSection: %s ends at %lld after truncation to %llu", file.getFileName(),
              static_cast<long long>(end), static_cast<unsigned long long>(length));
    return end;
}

}  // namespace nodal
}  // namespace dump
