// The repository's listings, counts, state records and current dump, and
// the orphan sweep (source file 0x1C). Nothing is cached: every call lists
// the directory afresh, so a listing is a snapshot and a dump deleted after
// it simply fails to open and is skipped.
#include "platdump/dumpCollections.h"

#include <errno.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "dump/repository/repositoryPaths.h"
#include "dump/repository/summaryEntryNames.h"
#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/mountPoint.h"
#include "dump/support/report.h"
#include "platdump/dumpState.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/posixFs.h"
#include "platform/utilFile.h"

using namespace dump;

const char DumpCollections::MOUNT_POINT[11] = DUMP_MOUNT_POINT_TEXT;

// The exported prefixes are the layout's kind table's, character for
// character: an array is initialised from a list, never from another array.
static_assert(sizeof DumpCollections::SYSDUMP == sizeof layout::KindInfo::filePrefix, "one prefix size");
#define COPY_PREFIX(p) {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]}
const char DumpCollections::SYSDUMP[9] = COPY_PREFIX(layout::kindInfo(DumpSummary::SYS)->filePrefix);
const char DumpCollections::HWUDUMP[9] = COPY_PREFIX(layout::kindInfo(DumpSummary::HWU)->filePrefix);
const char DumpCollections::RESDUMP[9] = COPY_PREFIX(layout::kindInfo(DumpSummary::RSC)->filePrefix);
#undef COPY_PREFIX

namespace {

constexpr Site kDirectoryUnreadable{0x021C, 20};
constexpr Site kSweepListing{0x0C1C, 5};
constexpr Site kSweepRemoval{0x0C1C, 15};
constexpr unsigned int HIGHEST_PLAIN_ID = 0x0FFFFFFF;

// What tells the three kinds apart when the repository is listed.
struct Kind {
    DumpSummary::typeOfSummary_t type;
    const char* prefix;
    Site listingFailed;  // call point of the id listing
    Site sweepListingFailed;
};
const Kind kSys{DumpSummary::SYS, DumpCollections::SYSDUMP, {0x091C, 9}, {0x0C1C, 16}};
const Kind kHwu{DumpSummary::HWU, DumpCollections::HWUDUMP, {0x081C, 8}, {0x0C1C, 17}};
const Kind kRsc{DumpSummary::RSC, DumpCollections::RESDUMP, {0x071C, 2}, {0x0C1C, 18}};
// The order in which dumps are summarised and claimed.
const Kind* const kKinds[] = {&kSys, &kHwu, &kRsc};

// Hardware-unit ids sort by bits 0 to 27 first, bits 28 to 31 last.
uint32_t hardwareUnitOrder(uint32_t id) { return (id << 4) | (id >> 28); }

std::string lastComponent(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The id a directory entry names for a kind; false when the entry is not
// one of its summaries.
bool idOfEntry(const Kind& kind, const std::string& name, unsigned int& id) {
    return summaryIdOfEntry(kind.prefix, kind.type == DumpSummary::HWU, name, id);
}

ErrlEntry* listIds(const Kind& kind, std::vector<unsigned int>& ids) {
    std::vector<std::string> paths;
    if (ErrlEntry* e = DumpCollections::listFilenames(paths)) return passedAt(e, kind.listingFailed);
    std::vector<unsigned int> found;
    for (const std::string& path : paths) {
        unsigned int id = 0;
        if (idOfEntry(kind, lastComponent(path), id)) found.push_back(id);
    }
    // Stable, so equal keys keep their directory order.
    if (kind.type == DumpSummary::HWU)
        std::stable_sort(found.begin(), found.end(), [](unsigned int a, unsigned int b) {
            return hardwareUnitOrder(a) < hardwareUnitOrder(b);
        });
    ids.insert(ids.end(), found.begin(), found.end());
    return nullptr;
}

// The dump opened, or null when it cannot be (its log is dropped: a dump
// that cannot be opened is skipped, and a damaged summary removes itself).
std::unique_ptr<DumpSummary> openDump(unsigned int id, DumpSummary::typeOfSummary_t type) {
    ErrlEntry* errl = nullptr;
    std::unique_ptr<DumpSummary> summary(new DumpSummary(id, errl, type));
    if (!errl) return summary;
    trace("DumpCollections: dump 0x%08X cannot be opened, skipped", id);
    discard(errl);
    return nullptr;
}

// ---- The orphan sweep ----------------------------------------------------

// The MDST file named in a summary file, read from the file itself; empty
// when it names none or cannot be read. A dump's MDST file may lie in the
// repository, where the sweep must not take it while the dump exists.
std::string recordedMdstName(const std::string& summaryPath) {
    UtilFile file(summaryPath.c_str());
    file.Open("r", false);
    uint8_t name[layout::names::NAME_WIDTH] = {0};
    uint32_t count = 0;
    if (file.isOpen() && file.seek(layout::FILE_NAMES_OFFSET + layout::names::MDST_FILE_NAME,
                                   UtilStream::START) >= 0)
        count = file.read(name, sizeof name);
    ErrlEntry* pending = takeError(file);
    discard(pending);
    return count == sizeof name ? layout::getText(name, 0, sizeof name) : std::string();
}

// Appends what dump id of a kind claims: its summary file, the files it
// names, its status log and its MDST file. A dump that cannot be opened
// claims nothing.
void claimFiles(const Kind& kind, unsigned int id, std::vector<std::string>& claimed) {
    std::unique_ptr<DumpSummary> summary = openDump(id, kind.type);
    if (!summary) return;
    std::string summaryFile;
    summary->getSummaryFileName(summaryFile);
    claimed.push_back(summaryFile);
    summary->getIntermediateFileNames(claimed);
    claimed.push_back(statusLogPath(id));
    std::string mdst = recordedMdstName(summaryFile);
    if (!mdst.empty()) claimed.push_back(mdst);
}

// Removes one orphan from this service processor only. A removal that
// fails is noted with an informational log.
void removeOrphan(const std::string& path) {
    trace("removeOrphanedFiles: removing %s", path.c_str());
    ErrlEntry* e = UtilFile::remove(path.c_str());
    if (!e) return;
    discard(e);
    // Reported also when the file had gone meanwhile (opening its damaged
    // summary during this sweep removes it): the removal did fail.
    trace("removeOrphanedFiles: %s could not be removed", path.c_str());
    commit(infoAt(kSweepRemoval, RC_FAILED, REASON_FILE));
}

// Marks the calling thread as sweeping for the lifetime of the object.
class SweepScope {
public:
    explicit SweepScope(bool& flag) : iv_flag(flag) { iv_flag = true; }
    ~SweepScope() { iv_flag = false; }
    SweepScope(const SweepScope&) = delete;
    SweepScope& operator=(const SweepScope&) = delete;

private:
    bool& iv_flag;
};

}  // namespace

ErrlEntry* DumpCollections::listFilenames(std::vector<std::string>& paths) {
    struct dirent** entries = nullptr;
    int count = plat::scandir(MOUNT_POINT, &entries, nullptr, alphasort);
    if (count < 0) {
        int err = errno;
        trace("listFilenames: %s unreadable, errno %d", MOUNT_POINT, err);
        return errorAt(kDirectoryUnreadable, RC_FAILED, REASON_FILE, static_cast<uint32_t>(err));
    }
    for (int i = 0; i < count; ++i) {
        const char* name = entries[i]->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            paths.push_back(std::string(MOUNT_POINT) + "/" + name);
        free(entries[i]);
    }
    free(entries);
    return nullptr;
}

ErrlEntry* DumpCollections::listSYSDUMPIds(std::vector<unsigned int>& ids) { return listIds(kSys, ids); }
ErrlEntry* DumpCollections::listHWUDUMPIds(std::vector<unsigned int>& ids) { return listIds(kHwu, ids); }
ErrlEntry* DumpCollections::listRESDUMPIds(std::vector<unsigned int>& ids) { return listIds(kRsc, ids); }

bool DumpCollections::CountDumps(unsigned int& sysDumps, unsigned int& sysDumpsIncomplete,
                                 unsigned int& hwuDumps, unsigned int& hwuDumpsIncomplete,
                                 unsigned int& setApartId) {
    sysDumps = sysDumpsIncomplete = hwuDumps = hwuDumpsIncomplete = setApartId = 0;
    std::vector<unsigned int> ids;
    ErrlEntry* e = listSYSDUMPIds(ids);
    if (!e) e = listHWUDUMPIds(ids);
    if (e) {
        trace("CountDumps: repository unreadable, nothing counted");
        discard(e);
        return false;
    }
    for (unsigned int id : ids) {
        // The kind follows from the id.
        std::unique_ptr<DumpSummary> summary = openDump(id, static_cast<DumpSummary::typeOfSummary_t>(0));
        if (!summary) continue;
        const uint16_t flags = summary->getDumpFlags();
        if (flags & layout::sum::setApartFlag) {
            setApartId = id;
            if (flags & layout::sum::dumpCompleteFlag) trace("CountDumps: dump 0x%08X set apart but complete", id);
            if (!(flags & layout::sum::setApartCompanionFlag))
                trace("CountDumps: dump 0x%08X set apart without 0x0080", id);
            if (id > HIGHEST_PLAIN_ID) trace("CountDumps: dump 0x%08X set apart", id);
            continue;
        }
        const bool hardwareUnit = summary->GetSummaryType() == DumpSummary::HWU;
        ++(hardwareUnit ? hwuDumps : sysDumps);
        if (!(flags & layout::sum::dumpCompleteFlag)) ++(hardwareUnit ? hwuDumpsIncomplete : sysDumpsIncomplete);
    }
    return true;
}

ErrlEntry* DumpCollections::dumpSummarizeDumps(std::vector<_dumpstate>& states) {
    for (const Kind* kind : kKinds) {
        std::vector<unsigned int> ids;
        if (ErrlEntry* e = listIds(*kind, ids)) return e;
        for (unsigned int id : ids) {
            std::unique_ptr<DumpSummary> summary = openDump(id, kind->type);
            if (!summary) continue;
            _dumpstate record;
            std::memset(&record, 0, sizeof record);
            record.size = sizeof record;
            if (summary->PopulateDumpState(&record)) states.push_back(record);
        }
    }
    return nullptr;
}

bool DumpCollections::GetCurrentDumpID(unsigned int& id) {
    id = 0;
    std::vector<_dumpstate> states;
    if (ErrlEntry* e = dumpSummarizeDumps(states)) {
        trace("GetCurrentDumpID: repository unreadable");
        discard(e);
        return false;
    }
    bool found = false;
    for (const _dumpstate& state : states) {
        if ((state.dumpFlags & layout::sum::setApartFlag) || state.summaryType != DumpSummary::SYS) continue;
        id = state.dumpId;
        if (!(state.dumpFlags & layout::sum::dumpCompleteFlag)) return true;
        found = true;
    }
    return found;
}

void DumpCollections::removeOrphanedFiles() {
    // A summary found gone while this thread's sweep opens it sweeps again
    // from its destructor; the running sweep already covers that.
    thread_local bool sweeping = false;
    if (sweeping) {
        trace("removeOrphanedFiles: sweep already running");
        return;
    }
    SweepScope scope(sweeping);

    std::vector<std::string> candidates;
    if (ErrlEntry* e = listFilenames(candidates)) {
        commit(passedAt(e, kSweepListing));
        return;
    }
    std::vector<std::string> claimed;
    for (const Kind* kind : kKinds) {
        std::vector<unsigned int> ids;
        if (ErrlEntry* e = listIds(*kind, ids)) {
            commit(passedAt(e, kind->sweepListingFailed));
            return;
        }
        for (unsigned int id : ids) claimFiles(*kind, id, claimed);
    }
    // Sorted once, each candidate is looked up in O(log n).
    std::sort(claimed.begin(), claimed.end());
    unsigned int removed = 0;
    for (const std::string& path : candidates) {
        if (std::binary_search(claimed.begin(), claimed.end(), path)) continue;
        ++removed;
        removeOrphan(path);
    }
    trace("removeOrphanedFiles: %u orphans removed", removed);
}
