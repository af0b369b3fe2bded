// The offload program's and the manager's part of the lifecycle: the
// repository listed and counted, the system dump extracted, the unit
// dump's failed main-store reads up to the checkstop IPL request, the
// program's own block list, and both deletions.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "platdump/platdump.h"
#include "platform/utilReg.h"
#include "platform/utilSemaphore.h"
#include "sweep.h"

namespace sweep {

namespace {

// Failed main-store reads of a dump after which the driver asks for a
// checkstop IPL.
constexpr int kReadsToCheckstop = 3;

std::string idList(const std::vector<unsigned>& ids) {
    std::string text;
    for (unsigned id : ids) text += std::to_string(id) + " ";
    return text;
}

// DeleteDump's answer beside what is left: true exactly when the dump
// named files and its summary is gone.
void recordDeletion(RunRecord& r, unsigned id, bool named, bool answer) {
    r.deletions.push_back({id, answer, named && !std::filesystem::exists(summaryHostPath(id))});
}

// Opens dump id to delete it; null when it cannot be opened, and then a
// dump that was created has vanished.
std::unique_ptr<DumpSummary> openToDelete(RunRecord& r, const char* dump, unsigned id, bool created) {
    ErrlEntry* errl = nullptr;
    during(r, dump, step::kOpening);
    auto s = std::make_unique<DumpSummary>(id, errl);
    if (r.entry(std::string("DumpSummary open ") + dump, errl)) return s;
    r.vanished = r.vanished || created;
    during(r, dump, step::kDestruction);
    return nullptr;
}

}  // namespace

void listRepository(RunRecord& r) {
    // (Which files there are is no answer to compare: a status log line
    // that could not be written is lost, and with the first the log.)
    std::vector<std::string> files;
    r.entry("listFilenames", DumpCollections::listFilenames(files));
    std::vector<unsigned> ids;
    bool listed = r.entry("listSYSDUMPIds", DumpCollections::listSYSDUMPIds(ids));
    listed = r.entry("listHWUDUMPIds", DumpCollections::listHWUDUMPIds(ids)) && listed;
    listed = r.entry("listRESDUMPIds", DumpCollections::listRESDUMPIds(ids)) && listed;
    if (listed) r.answer("ids", idList(ids));
    unsigned sys = 0, sysOpen = 0, hwu = 0, hwuOpen = 0, apart = 0;
    bool counted = DumpCollections::CountDumps(sys, sysOpen, hwu, hwuOpen, apart);
    r.call("CountDumps", counted);
    if (counted) r.answer("CountDumps", idList({sys, sysOpen, hwu, hwuOpen, apart}));
    // One answer per record: a dump whose summary cannot be read at that
    // moment is left out of the list, as the contract says.
    std::vector<_dumpstate> states;
    if (r.entry("dumpSummarizeDumps", DumpCollections::dumpSummarizeDumps(states)))
        for (const _dumpstate& s : states)
            r.answer("state of " + std::to_string(s.dumpId), std::to_string(s.dumpSize.value()) + " " +
                                                             std::to_string(s.progress) + " " + std::to_string(s.dumpFlags));
    unsigned current = 0;
    bool found = DumpCollections::GetCurrentDumpID(current);
    r.call("GetCurrentDumpID", found);
    if (found) r.answer("current", std::to_string(current));
    // With both dumps whole, the sweep finds nothing to remove.
    DumpCollections::removeOrphanedFiles();
}

void offloadSystemDump(RunRecord& r) {
    uint64_t size = streamSize(kSystemDump);
    r.call("stream size", size != 0);
    dumpDMAEhandle handle{};
    ErrlEntry* failed = nullptr;
    const bool whole = extractStream(kSystemDump, size, true, &handle, r.stream, failed);
    r.entry("ExtractDump system dump", failed);
    r.extracted = whole && size != 0;
}

void requestCheckstopAndDeleteUnitDump(RunRecord& r, bool created) {
    // The system moves to the state in which the engine reads main store.
    during(r, step::kUnitDump, step::kCheckstop);
    // smgr/StateData: the state code (11) first, main store readable.
    std::string state(56, '\0');
    state[3] = 11;
    r.entry("UtilReg::write", UtilReg::write("smgr/StateData", state.data(), static_cast<uint32_t>(state.size())));
    uint64_t size = streamSize(kUnitDump);
    if (size > unitDumpRegion().length) {
        DumpExtractData extract;
        dumpDMAEhandle handle{};
        std::vector<char> buffer(unitDumpRegion().length);
        // Each read of the region fails; the third requests the IPL. The
        // failures are the run's baseline.
        for (int i = 0; i < kReadsToCheckstop; ++i) {
            unsigned length = unitDumpRegion().length;
            r.entry("ExtractDump unit dump main store",
                    extract.ExtractDump(kUnitDump, size - length, length, buffer.data(), true, &handle));
        }
    }
    std::unique_ptr<DumpSummary> unit = openToDelete(r, step::kUnitDump, kUnitDump, created);
    if (!unit) return;
    during(r, step::kUnitDump, step::kWithdrawal);
    unit->ClearMainstoreDumpExistFlag(dump::layout::sum::memReadFailuresWithdrawnFlag);
    during(r, step::kUnitDump, step::kDeletion);
    DumpStatusLogger status(kUnitDump);
    status.setCheckstopIPLCompleted();
    status.setMemoryPreservingIPLRequested();
    status.setTransitionFileCalled();
    status.AbortDump();
    // A manager that holds the extraction semaphore itself deletes with
    // DeleteDump_nolock.
    UtilSemaphore extraction(SEM_UNDO_FLAG_SETTING);
    if (!r.entry("extraction semaphore init", extraction.init("dump", 3, 1))) return;
    if (!r.entry("extraction semaphore Down", extraction.Down(1))) return;
    bool named = summaryNamesFiles(kUnitDump);
    recordDeletion(r, kUnitDump, named, DeleteDump_nolock(unit.get()));
    r.entry("extraction semaphore Up", extraction.Up(1));
    during(r, step::kUnitDump, step::kDestruction);
}

void readOwnBlocks(RunRecord& r) {
    // An offload program's own list: bytes in memory and a file.
    DumpUtilFile file(kBlockFile);
    if (r.entry("open blocks", file.open("w+"))) {
        r.call("write blocks", file.write("0123456789", 10) == 10);
        file.Close();
        file.clearError();
    }
    char memory[] = "memory block";
    char path[sizeof kBlockFile];
    std::copy(kBlockFile, kBlockFile + sizeof kBlockFile, path);
    DumpList list;
    list.append(new DumpDataBlockMS(sizeof memory - 1, memory));
    list.append(new DumpDataBlockFile(10, path));
    char out[16];
    for (const DumpDataBlock* block : list) {
        r.entry("getData", block->getData(0, block->getSize(), out, nullptr));
        r.entry("remove block", block->remove());
    }
    DumpDataBlock plain;
    r.entry("DumpDataBlock::getData", plain.getData(0, 0, out, nullptr));
    r.answer("CheckstopPresent", std::to_string(CheckstopPresent()));
    NetcMessage request, response;
    request.setMessageType(5);
    r.entry("dumpRemoteProcessMessage", dumpRemoteProcessMessage(request, response));
}

void deleteSystemDump(RunRecord& r, bool created) {
    std::unique_ptr<DumpSummary> s = openToDelete(r, step::kSystemDump, kSystemDump, created);
    if (!s) return;
    during(r, step::kSystemDump, step::kDeletion);
    bool named = summaryNamesFiles(kSystemDump);
    recordDeletion(r, kSystemDump, named, DeleteDump(s.get()));
    during(r, step::kSystemDump, step::kDestruction);
}

}  // namespace sweep
