// The collectors' part of the lifecycle: the system dump taken in full and
// the hardware-unit dump, each completed. The shared collector takes them;
// the sweep's hooks mark its steps, record every call and answer, and add
// what only the sweep does: every remaining setter, a resource file, a
// file outside the repository saved into the system section, a section
// left behind by a crashed writer, and a read-back of every getter.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "sweep.h"

namespace sweep {

namespace {

using collector::Milestone;
using collector::Stage;

// The collector's moments at fixed times, so that two runs' streams compare.
BCD_time8_t stamp(collector::Moment moment) {
    return {{0x20, 0x26}, 0x12, 0x05, 0x20, static_cast<uint8_t>(0x31 + static_cast<int>(moment)), 0x15, 0x00};
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

}  // namespace

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

}  // namespace sweep
