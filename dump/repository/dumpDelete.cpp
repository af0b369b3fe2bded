// Deleting a dump (source file 0x0D): the files its summary names, here
// and on the backup, then its status log, then its summary, then the
// orphan sweep, all while the extraction semaphore keeps every extraction
// out. The extraction semaphore is always taken before the summary lock.
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryNodalFiles.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpStatusLogger.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/utilFile.h"
#include "platform/utilSemaphore.h"

using namespace dump;

namespace {

constexpr char kSemaphoreName[] = "dump";
constexpr uint8_t kExtractionKey = 3;
constexpr Site kSemaphoreInit{0x030D, 32};
constexpr Site kSemaphoreDown{0x030D, 33};
constexpr Site kSemaphoreUp{0x030D, 18};

// The intermediate files the summary file at path names, read from its
// start by a file of its own (no seek: the summary object's position may be
// what failed); false when that read fails too. A file that ends before its
// names region (a creation whose second write failed) names nothing there.
bool namesReadAfresh(const std::string& path, std::vector<std::string>& names) {
    UtilFile file(path.c_str());
    file.Open("r", false);
    std::vector<uint8_t> bytes(layout::FILE_NAMES_OFFSET + layout::FILE_NAMES_SIZE);
    const uint32_t count = file.isOpen() ? file.read(bytes.data(), static_cast<uint32_t>(bytes.size())) : 0;
    const bool endsBeforeNames = count <= layout::FILE_NAMES_OFFSET && count == file.size();
    ErrlEntry* e = takeError(file);
    const bool read = !e && file.isOpen() && (count == bytes.size() || endsBeforeNames);
    discard(e);
    if (read) listIntermediateFiles(bytes.data() + layout::FILE_NAMES_OFFSET, names);
    return read;
}

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
    if (!deleted) {
        // An empty list may come of a re-read that failed: the names are read
        // once more, afresh. Names that cannot be read at all are not known to
        // be none: the files go with the sweep below (no summary claims them
        // once this one is gone), and the answer is the summary's removal.
        std::string path;
        summary->getSummaryFileName(path);
        bool read = namesReadAfresh(path, files);
        deleted = !read || !files.empty();
        if (files.empty()) trace("DeleteDump_nolock: dump 0x%08X names no file%s", id, read ? "" : " it could read");
    }
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
