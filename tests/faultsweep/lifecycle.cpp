// The lifecycle (sweep.h): the simulated machine every run starts from,
// the lifecycle's order of events, the error log the collector saves into
// the dump, the collectors' part, the offload program's and the manager's
// part, and the host-side facts the lifecycle compares answers with.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "collector/dumpCollector.h"
#include "collector/runningServer.h"
#include "dump/summary/summaryLayout.h"
#include "dumpAccess.h"
#include "platdump/platdump.h"
#include "platform/hwFacility.h"
#include "platform/sim/platsim.h"
#include "platform/utilReg.h"
#include "platform/utilSemaphore.h"
#include "sweep.h"

namespace fs = std::filesystem;

namespace sweep {

namespace {

// ---- The simulated machine and what the lifecycle works with.

constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC
constexpr uint64_t kTotalBlocks = 1000000, kFreeBlocks = 640000;
constexpr uint64_t kMainStoreSize = 1u << 20;

using collector::Region;

// The system dump's main-store regions; the unit dump's lies beyond main
// store.
const std::vector<Region>& systemDumpRegions() {
    // Together with the hardware data more than two 64 KiB requests.
    static const std::vector<Region> regions = {{0x40000, 80u << 10, ""}, {0x90100, (48u << 10) + 100, ""}};
    return regions;
}

Region unitDumpRegion() { return {kMainStoreSize + 0x1000, 4096, ""}; }

// Files outside the repository that the lifecycle writes, and the MDST
// file the system dump names (of kMdstSize bytes, there from the start).
constexpr char kConfigFile[] = "/etc/dump/sweep.cfg";
constexpr char kMdstFile[] = "/var/mdst/0000001A";
constexpr unsigned kMdstSize = 64;
constexpr char kBlockFile[] = "/etc/dump/blocks";

// Marks the beginning of a step of kind on the dump named (step::kSystemDump, ...).
void during(RunRecord& r, const char* dump, const char* kind) { r.step(std::string(dump) + ": " + kind); }

// ---- The error logs.

constexpr uint16_t kSweepModule = 0x01FF;

// The log a collector keeps of the failure the dump is for, with one
// section of every kind. It is made before anything else, so that its ids,
// which the dump records, are the same in every run.
ErrlEntry* buildSavedLog() {
    ErrlEntry* e = dumpCreateInfoLog(1, 0xF00B, kSweepModule, 1, kSystemDump, 2, 3);
    dumpAddFunctionCallPoint(e, kSweepModule, 2, 7);
    addToReceivedError(e, 0xF0F0, kSweepModule, 3, 4, 5, 6);
    dumpAddDetails(DumpKeyValueStringInfo(DUMP_COMPONENT_ID, "collector", "fault sweep"), e);
    std::list<std::string> words = {"node0", "node1"};
    dumpAddDetails(DumpMultiKeyValueStringsInfo(DUMP_COMPONENT_ID, words), e);
    dumpAddDetails(DumpBufferDataInfo(DUMP_COMPONENT_ID, 1, 2, 3, 4), e);
    dumpAddDetails(DumpTocEntryInfo(DUMP_COMPONENT_ID, 5, 6, 7), e);
    dumpAddDetails(DumpUtilRegistryInfo(DUMP_COMPONENT_ID, "dump/DumpPolicy", 1, 4), e);
    hwFacilityEntry1 facility{};
    for (uint32_t i = 0; i < 13; ++i) facility.word[i] = 0x100 + i;
    facility.status = 0x5A;
    dumpAddDetails(DumpHwFacilityEntryInfo(DUMP_COMPONENT_ID, facility), e);
    DumpClientRecord_t client{};
    client.toolType = 3;
    dumpAddDetails(DumpClientRecordInfo(DUMP_COMPONENT_ID, client), e);
    return e;
}

// The helpers the library offers beyond its own reports, on a log that is
// dropped again.
void useRemainingHelpers(RunRecord& r) {
    SrciSrc src = collector::requestSrc(kSystemDump);
    ErrlEntry* e = dumpCreateCtrmLog(3, 0xF00B, kSweepModule, 4, src);
    dumpAddTracePoints(e);
    delete e;
    // A caller whose log was never made passes a null entry to each helper.
    ErrlEntry* none = nullptr;
    addToReceivedError(none, 0xF0F0, kSweepModule, 3, 4, 5, 6);
    dumpAddFunctionCallPoint(none, kSweepModule, 2, 7);
    dumpAddDetails(DumpKeyValueStringInfo(DUMP_COMPONENT_ID, "collector", "none"), none);
    dumpAddTracePoints(none);
    dumpCommitAndFreeLog(none);
    r.answer("dumpCreateUniqueLocation", std::to_string(dumpCreateUniqueLocation(0xF00B, 0x0113, 0x18)));
}

// ---- The collectors' part of the lifecycle: the system dump taken in full and
// the hardware-unit dump, each completed. The shared collector takes them;
// the sweep's hooks mark its steps, record every call and answer, and add
// what only the sweep does: every remaining setter, a resource file, a
// file outside the repository saved into the system section, a section
// left behind by a crashed writer, and a read-back of every getter.

using collector::Milestone;
using collector::Stage;

// The collector's moments at fixed times, so that two runs' streams compare.
BCD_time8_t stamp(collector::Moment moment) {
    const uint8_t minute = static_cast<uint8_t>(0x31 + static_cast<int>(moment));
    return {{0x20, 0x26}, 0x12, 0x05, 0x20, minute, 0x15, 0x00};
}

// The step kind of each of the collector's stages, in the order of Stage.
constexpr const char* kStageKinds[] = {
    step::kCreation,       step::kSetter,     step::kGetter,           step::kSrc,
    "file written",        step::kNodalWrite, "nodal section finalised", step::kSystemSection,
    step::kFailureMarking, step::kCompletion};

// A collector killed while it continued a section leaves an item's bytes
// and the first bytes of its TOC entry behind; the next finalisation of
// the pair (at completion) cuts them off again. The system dump's node 1.
void leaveCrashedWriterBehind() {
    const std::pair<const char*, size_t> leftovers[] = {{"/plat_dump/0000001A.SpData1", 40},
                                                        {"/plat_dump/0000001A.SpTOC1", 5}};
    for (const auto& [path, bytes] : leftovers)
        if (std::filesystem::exists(platsim::hostPath(path)))
            std::ofstream(platsim::hostPath(path), std::ios::binary | std::ios::app) << std::string(bytes, '\x77');
}

// Marks the collector's steps under the dump's name and records its calls
// and answers.
class SweepHooks : public collector::Hooks {
public:
    SweepHooks(RunRecord& r, const char* dump) : iv_r(r), iv_dump(dump) {}
    void stage(Stage s) override { during(iv_r, iv_dump, kStageKinds[static_cast<int>(s)]); }
    bool entry(const std::string& call, ErrlEntry* e) override { return iv_r.entry(call, e); }
    void call(const std::string& call, bool ok) override { iv_r.call(call, ok); }
    void answer(const std::string& name, const std::string& value) override { iv_r.answer(name, value); }

protected:
    RunRecord& iv_r;
    const char* iv_dump;
};

// The system dump's additions at the collector's milestones.
class SystemDumpHooks : public SweepHooks {
public:
    SystemDumpHooks(RunRecord& r, ErrlEntry*& savedLog) : SweepHooks(r, step::kSystemDump), iv_savedLog(savedLog) {}

    void reached(Milestone m, DumpSummary& s, const collector::Progress&) override {
        switch (m) {
            case Milestone::requestRecorded: recordTheRest(s); break;
            case Milestone::systemSectionDue: writeConfigFile(); break;
            case Milestone::mainStoreRecorded:
                s.ClearPrivateFlagsByMask(0x8);
                s.IncrementTCEErrorCount();
                break;
            case Milestone::completionDue: leaveCrashedWriterBehind(); break;
            default: break;
        }
    }

private:
    // Every setter the collector does not use, the MDST file and a
    // resource file.
    void recordTheRest(DumpSummary& s) {
        during(iv_r, iv_dump, step::kSetter);
        s.setPLId(iv_savedLog->plid());
        s.setContent(0x400);
        s.setFailingUnitId(0x00C0FFEE);
        s.setHypMode(1);
        s.setHardwareObjectModel(0x1234);
        s.setHardwareErrorFlags(0x0011);
        s.clearHardwareErrorFlags(0x0010);
        s.setMemoryDumpErrorFlags(0x40);
        s.setMemoryDumpErrorFlagsByMask(0x1);
        s.setMainstorePriority(3);
        std::string mdst = kMdstFile;
        s.setMDSTFileName(mdst, kMdstSize);
        std::string resource = "/plat_dump/0000001A.RES";
        if (collector::writeWholeFile(resource, "resource data", *this)) {
            during(iv_r, iv_dump, step::kSetter);
            s.setResourceDumpFileName(resource);
        }
        std::string name;
        during(iv_r, iv_dump, step::kGetter);
        s.getResourceDumpFileName(name);
    }

    // A file outside the repository, pushed to the backup as a whole, that
    // the system section saves; and the registry's details on the saved log.
    void writeConfigFile() {
        {
            DumpUtilFile config(kConfigFile);
            if (iv_r.entry("open config", config.open("w+"))) {
                const char text[] = "policy=3\nnodes=2\n";
                uint32_t written = config.writeDirect(text, sizeof text - 1);
                iv_r.call("write config",
                          iv_r.entry("write config error", config.takeError()) && written == sizeof text - 1);
                config.Sync();
                config.Close();
                config.clearError();
            }
        }
        dumpAddDetails(DumpRegistryInfo(DUMP_COMPONENT_ID), iv_savedLog);
    }

    ErrlEntry*& iv_savedLog;
};

// Every getter and region primitive once, as a display program reads a
// dump; the answers that are facts of the dump are recorded.
void readBack(RunRecord& r, DumpSummary& s) {
    during(r, step::kSystemDump, step::kGetter);
    r.answer("isDumpComplete", std::to_string(s.isDumpComplete()));
    _dumpstate state{};
    state.size = sizeof state;
    r.call("PopulateDumpState", s.PopulateDumpState(&state));
    std::vector<std::string> files;
    r.call("getIntermediateFileNames", s.getIntermediateFileNames(files));
    r.answer("intermediate files", std::to_string(files.size()));
    std::string name;
    s.getSummaryFileName(name);
    s.GetDumpClientRecord();
    unsigned long long sum = s.getTotalDumpSize() + s.getSystemLogId() + s.getFileHeaderSize() +
                             s.getDumpFlags() + s.getHWErrorFlags() + s.getMemoryDumpErrorFlags() +
                             s.getHWDumpTotalSize() + s.getMDRTTableSize() + s.getMDRTAddress() +
                             s.getMSDataSize() + s.getContentType() + s.getFailingUnitId() + s.GetPrivateFlags();
    (void)sum;  // getters re-read the file; their values are checked through the stream
    // A caller that rewrites the regions holds the lock around the re-read;
    // a nested hold and an unlock too many change nothing.
    during(r, step::kSystemDump, step::kRegionPrimitives);
    s.lockExclusive();
    s.ReadFileHeader();
    s.ReadSummary();
    s.ReadFileNames();
    s.lockExclusive();
    s.writeFileHeader();
    s.writeSummary();
    s.unlockExclusive();
    s.writeFileNames();
    s.unlockExclusive();
    s.unlockExclusive();
}

// Each collector returns whether its dump was created; savedLog is the
// error log the collector saves into the system section.
bool collectSystemDump(RunRecord& r, ErrlEntry*& savedLog) {
    const char* dump = step::kSystemDump;
    SystemDumpHooks hooks(r, savedLog);
    collector::Plan plan;
    plan.id = kSystemDump;
    plan.client = "fault sweep";
    plan.user = "collector";
    plan.toolType = 3;
    plan.nodes = 2;  // four hardware and three service-processor items each
    plan.savedValues = {{"fstp/SystemName", true}, {kConfigFile, false}};
    plan.savedLog = savedLog;
    plan.regions = systemDumpRegions();
    plan.stamp = stamp;
    std::unique_ptr<DumpSummary> s = collector::createDump(plan, hooks);
    if (!s) return false;
    collector::collectDump(*s, plan, hooks);
    readBack(r, *s);
    {
        // Another program's view of the dump: the SRC read back.
        during(r, dump, step::kOpening);
        ErrlEntry* errl = nullptr;
        DumpSummary reader(kSystemDump, errl);
        during(r, dump, step::kSrc);
        if (r.entry("DumpSummary open system dump", errl)) r.call("getSrc", reader.getSrc() != nullptr);
        during(r, dump, step::kDestruction);
    }
    during(r, dump, step::kDestruction);
    s.reset();
    return true;
}

bool collectUnitDump(RunRecord& r) {
    const char* dump = step::kUnitDump;
    SweepHooks hooks(r, dump);
    ErrlEntry* errl = nullptr;
    during(r, dump, step::kCreation);
    DumpSummary s(DumpSummary::HWU, kUnitDump, errl);
    if (!r.entry("DumpSummary create unit dump", errl)) return false;
    DumpStatusLogger(kUnitDump).setHardwareUnitDumpRequested();
    during(r, dump, step::kSetter);
    s.SetTotalHDCTItemCount(1);
    s.setHardwareNodeCount(1);
    collector::Progress progress;
    collector::writeHardwareSection(s, collector::Plan{}, 0, 1, hooks, progress);
    during(r, dump, step::kFailureMarking);
    s.mainstoreCollectionFailed(0x10);
    // The first setting of hwErrorFlags bit 0x0200 commits a log.
    s.hwSysCollectionFailed(0x8200);
    collector::recordMainStore(s, kUnitDump, {unitDumpRegion()}, hooks, progress);
    during(r, dump, step::kCompletion);
    s.setDumpComplete();
    during(r, dump, step::kDestruction);
    return true;
}

// ---- The offload program's and the manager's part of the lifecycle: the
// repository listed and counted, the system dump extracted, the unit
// dump's failed main-store reads up to the checkstop IPL request, the
// program's own block list, and both deletions.

// Offsets of the intermediate name slots in a summary file.
constexpr size_t kNameWidth = 64;
constexpr size_t kNodalNameTables[] = {1232, 1912, 2592, 3272};  // 10 names each
constexpr size_t kSingleNames[] = {3952, 4020, 4088, 4224};      // sys TOC, sys data, MDRT, resource

// Whether a summary file names any intermediate file (read from the host
// file, not through the library); false when it cannot be read.
bool summaryNamesFiles(unsigned id) {
    const std::string bytes = readFile(summaryHostPath(id));
    auto named = [&](size_t at) { return at < bytes.size() && bytes[at] != '\0'; };
    for (size_t table : kNodalNameTables)
        for (size_t i = 0; i < 10; ++i)
            if (named(table + i * kNameWidth)) return true;
    return std::any_of(std::begin(kSingleNames), std::end(kSingleNames), named);
}

// The dumpSize of a dump's state record from dumpSummarizeDumps, 0 when
// there is none.
uint64_t streamSize(unsigned id) {
    std::vector<_dumpstate> states;
    ErrlEntry* e = DumpCollections::dumpSummarizeDumps(states);
    delete e;
    for (const _dumpstate& s : states)
        if (s.dumpId == id) return s.dumpSize.value();
    return 0;
}

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

// created: whether the dump was created, so that one gone since is told
// from one that never was.
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

void takeSnapshot(RunRecord& r, const std::string& to, const char* when) {
    if (to.empty()) return;
    r.step(snapshotStep(when));
    std::error_code ec;
    fs::create_directories(fs::path(to) / "sim" / "fail", ec);
    fs::create_directories(fs::path(to) / "backup" / "plat_dump", ec);
    fs::copy(fs::path(platsim::root()) / "primary", fs::path(to) / "primary", fs::copy_options::recursive, ec);
}

}  // namespace

void prepareMachine() {
    platsim::setClock(kClock);
    platsim::setStatfs(kTotalBlocks, kFreeBlocks);
    collector::setRunningServerRegistry();
    platsim::setRegistry("dump/DumpPending", std::string(1, '\x01'));
    platsim::setRegistryU32("dump/DumpPolicy", 3);
    platsim::setRegistryU32("dump/HwUnitDumpId", kUnitDump);
    platsim::setRegistryU32("dump/SystemDumpId", kSystemDump);
    collector::setConsoles(2);
    platsim::setMainStoreSize(kMainStoreSize);
    for (const Region& r : systemDumpRegions()) {
        // The same bytes for a region every time.
        std::string bytes(r.length, '\0');
        uint32_t x = static_cast<uint32_t>(r.address >> 8) | 1;
        for (char& c : bytes) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
        platsim::writeMainStore(r.address, bytes);
    }
    std::filesystem::create_directories(platsim::hostPath("/etc/dump"));
    std::filesystem::create_directories(platsim::hostPath("/var/mdst"));
    std::ofstream(platsim::hostPath(kMdstFile), std::ios::binary) << std::string(kMdstSize, '\x4D');
}

std::string summaryHostPath(unsigned id) {
    const DumpSummary::typeOfSummary_t kind = (id & 0x0F000000) ? DumpSummary::HWU : DumpSummary::SYS;
    return platsim::hostPath(platdump::summaryPath(id, kind));
}

std::string snapshotStep(const std::string& when) { return "snapshot: " + when; }

void runLifecycle(RunRecord& r, const Snapshots& snapshots) {
    during(r, step::kRepository, "error-log helpers");
    ErrlEntry* savedLog = buildSavedLog();
    useRemainingHelpers(r);
    during(r, step::kRepository, step::kMaintenanceLock);
    dumpCCMOperationLock maintenance;
    bool held = r.entry("getCCMOperationLock", maintenance.getCCMOperationLock());
    bool system = collectSystemDump(r, savedLog);
    bool unit = collectUnitDump(r);
    during(r, step::kRepository, step::kMaintenanceLock);
    if (held) maintenance.releaseCCMOperationLock();
    during(r, step::kRepository, step::kListing);
    listRepository(r);
    takeSnapshot(r, snapshots.beforeOffload, kBeforeOffload);
    during(r, step::kSystemDump, step::kOffload);
    offloadSystemDump(r);
    takeSnapshot(r, snapshots.afterOffload, kAfterOffload);
    requestCheckstopAndDeleteUnitDump(r, unit);
    during(r, step::kRepository, "own blocks");
    readOwnBlocks(r);
    deleteSystemDump(r, system);
    delete savedLog;
}

}  // namespace sweep
