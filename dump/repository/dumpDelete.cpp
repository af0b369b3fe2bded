// Deleting a dump (source file 0x0D): the files its summary names, here
// and on the backup, then its status log, then its summary, then the
// orphan sweep, all while the extraction semaphore keeps every extraction
// out. The extraction semaphore is always taken before the summary lock.
#include <string>
#include <vector>

#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpStatusLogger.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/utilSemaphore.h"

using namespace dump;

namespace {

constexpr char kSemaphoreName[] = "dump";
constexpr uint8_t kExtractionKey = 3;
constexpr Site kSemaphoreInit{0x030D, 32};
constexpr Site kSemaphoreDown{0x030D, 33};
constexpr Site kSemaphoreUp{0x030D, 18};

// A semaphore failure is committed as informational: the deletion is
// refused, or done, but nothing is broken.
bool semaphoreFailed(ErrlEntry* e, Site site, const char* step) {
    if (!e) return false;
    trace("DeleteDump: extraction semaphore %s failed", step);
    commit(asInformational(passedAt(e, site)));
    return true;
}

}  // namespace

extern "C" bool DeleteDump(DumpSummary* summary) {
    UtilSemaphore extraction(SEM_UNDO_FLAG_SETTING);
    trace("DeleteDump: dump 0x%08X", summary ? summary->getDumpId() : 0);
    if (semaphoreFailed(extraction.init(kSemaphoreName, kExtractionKey, 1), kSemaphoreInit, "init")) return false;
    if (semaphoreFailed(extraction.Down(1), kSemaphoreDown, "Down")) return false;
    bool deleted = DeleteDump_nolock(summary);
    semaphoreFailed(extraction.Up(1), kSemaphoreUp, "Up");
    trace("DeleteDump: %s", deleted ? "deleted" : "not deleted");
    return deleted;
}

extern "C" bool DeleteDump_nolock(DumpSummary* summary) {
    if (!summary) {
        trace("DeleteDump_nolock: no dump given");
        return false;
    }
    const unsigned int id = summary->getDumpId();
    std::vector<std::string> files;
    bool deleted = summary->getIntermediateFileNames(files);
    if (!deleted) trace("DeleteDump_nolock: dump 0x%08X names no file", id);
    // Files already gone, or that cannot be removed, do not stop the
    // deletion: the sweep below takes what is left here.
    for (const std::string& file : files) {
        ErrlEntry* e = DumpUtilFile::remove(file.c_str());
        discard(e);
    }
    DumpStatusLogger(id).RemoveFile();
    if (ErrlEntry* e = summary->removeSummaryFile()) {
        trace("DeleteDump_nolock: summary of dump 0x%08X not removed", id);
        discard(e);
        deleted = false;
    }
    DumpCollections::removeOrphanedFiles();
    return deleted;
}
