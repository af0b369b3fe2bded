// The lifecycle's order of events, the error log the collector saves into
// the dump, and the host-side facts the lifecycle compares answers with.
#include "sweep.h"

#include <algorithm>
#include <filesystem>
#include <list>
#include <vector>

#include "platdump/platdump.h"
#include "platform/hwFacility.h"
#include "platform/sim/platsim.h"

namespace fs = std::filesystem;

namespace sweep {

namespace {

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

// Offsets of the intermediate name slots in a summary file.
constexpr size_t kNameWidth = 64;
constexpr size_t kNodalNameTables[] = {1232, 1912, 2592, 3272};  // 10 names each
constexpr size_t kSingleNames[] = {3952, 4020, 4088, 4224};      // sys TOC, sys data, MDRT, resource

}  // namespace

std::string summaryHostPath(unsigned id) {
    char name[64];
    std::snprintf(name, sizeof name, "/plat_dump/%s%08X.summary", (id & 0x0F000000) ? "HWUDUMP." : "SYSDUMP.", id);
    return platsim::hostPath(name);
}

bool summaryNamesFiles(unsigned id) {
    const std::string bytes = readFile(summaryHostPath(id));
    auto named = [&](size_t at) { return at < bytes.size() && bytes[at] != '\0'; };
    for (size_t table : kNodalNameTables)
        for (size_t i = 0; i < 10; ++i)
            if (named(table + i * kNameWidth)) return true;
    return std::any_of(std::begin(kSingleNames), std::end(kSingleNames), named);
}

uint64_t streamSize(unsigned id) {
    std::vector<_dumpstate> states;
    ErrlEntry* e = DumpCollections::dumpSummarizeDumps(states);
    delete e;
    for (const _dumpstate& s : states)
        if (s.dumpId == id) return s.dumpSize.value();
    return 0;
}

void during(RunRecord& r, const char* dump, const char* kind) { r.step(std::string(dump) + ": " + kind); }

std::string snapshotStep(const std::string& when) { return "snapshot: " + when; }

void takeSnapshot(RunRecord& r, const std::string& to, const char* when) {
    if (to.empty()) return;
    r.step(snapshotStep(when));
    std::error_code ec;
    fs::create_directories(fs::path(to) / "sim" / "fail", ec);
    fs::create_directories(fs::path(to) / "backup" / "plat_dump", ec);
    fs::copy(fs::path(platsim::root()) / "primary", fs::path(to) / "primary", fs::copy_options::recursive, ec);
}

void runLifecycle(RunRecord& r, const Snapshots& snapshots) {
    during(r, step::kRepository, step::kHelpers);
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
    during(r, step::kRepository, step::kOwnBlocks);
    readOwnBlocks(r);
    deleteSystemDump(r, system);
    delete savedLog;
}

}  // namespace sweep
