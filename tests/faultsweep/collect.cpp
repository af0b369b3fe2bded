// The collectors' part of the lifecycle: the system dump taken in full and
// the hardware-unit dump, each completed.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "lifecycle.h"
#include "machine.h"
#include "platdump/platdump.h"
#include "platform/orlaDataBuffer.h"
#include "platform/sim/platsim.h"

namespace sweep {

namespace {

// The privateFlags bit the collectors set.
constexpr unsigned int kPrivateStepDone = 0x4;

constexpr unsigned kNodes = 2;
constexpr unsigned kHardwareItems = 4;
constexpr unsigned kServiceProcessorItems = 3;
constexpr uint32_t kSavedLogEntry = 0x2A170001;
constexpr uint64_t kMdrtAddress = 0xF00000;

// The pseudo-random sizes and bytes of the items, the same every run.
struct Numbers {
    uint32_t x;
    uint32_t next() { return x = x * 1103515245u + 12345u, x >> 8; }
};

std::string fileName(const char* format, unsigned id, unsigned node = 0) {
    char name[64];
    std::snprintf(name, sizeof name, format, id, node);
    return name;
}

BCD_time8_t stamp(uint8_t minute) {
    BCD_time8_t t{};
    const uint8_t bytes[8] = {0x20, 0x26, 0x12, 0x05, 0x20, minute, 0x15, 0x00};
    static_assert(sizeof t == sizeof bytes, "eight BCD bytes");
    std::memcpy(&t, bytes, sizeof t);
    return t;
}

const char* dumpOf(unsigned id) { return id == kSystemDump ? step::kSystemDump : step::kUnitDump; }

void writeHardwareSection(RunRecord& r, DumpSummary& s, unsigned id, unsigned node, unsigned items) {
    const char* dump = dumpOf(id);
    std::string toc = fileName("%08X.HwTOC%u", id, node), data = fileName("%08X.HwData%u", id, node);
    {
        during(r, dump, step::kNodalWrite);
        DumpNodalSection section(DumpNodalSection::HWDATA, &s);
        bool created = r.entry("createNodalFiles HWDATA", section.createNodalFiles(toc, data, node));
        Numbers n{0x5EED0000u + node};
        for (unsigned i = 0; created && i < items; ++i) {
            orlaDataBuffer buffer(64 + n.next() % 3000);
            for (uint32_t b = 0; b < buffer.getByteLength(); ++b) buffer.setByte(b, static_cast<uint8_t>(n.next()));
            DumpHwTocEntry entry{0x00010000u | node, i, 0x20000000u | i, buffer.getBitLength(), 0, 0x80000000u, 0};
            during(r, dump, step::kNodalWrite);
            r.entry("writeEntry HWDATA", section.writeEntry(entry, buffer));
            during(r, dump, step::kSetter);
            s.IncrementFinishedHDCTItemCount();
        }
        if (created) r.answer("HWDATA files", section.getTocFileName() + " " + section.getDataFileName());
        during(r, dump, step::kNodalFinalisation);
        if (!created) return;
    }
    during(r, dump, step::kSetter);
    s.SetHWDATAFileNames(node, data, toc);
}

void writeServiceProcessorSection(RunRecord& r, DumpSummary& s, unsigned id, unsigned node) {
    std::string toc = fileName("%08X.SpTOC%u", id, node), data = fileName("%08X.SpData%u", id, node);
    {
        during(r, step::kSystemDump, step::kNodalWrite);
        DumpNodalSection section(DumpNodalSection::SPDATA, &s);
        bool created = r.entry("createNodalFiles SPDATA", section.createNodalFiles(toc, data, node));
        Numbers n{0x5B000000u + node};
        for (unsigned i = 0; created && i < kServiceProcessorItems; ++i) {
            std::string bytes(200 + n.next() % 1500, '\0');
            for (char& c : bytes) c = static_cast<char>(n.next());
            DumpSpTocEntry entry{0xF2000000u | (node << 8) | i, 0, static_cast<uint32_t>(bytes.size())};
            r.entry("writeEntry SPDATA", section.writeEntry(entry, &bytes[0]));
        }
        during(r, step::kSystemDump, step::kNodalFinalisation);
        if (!created) return;
    }
    during(r, step::kSystemDump, step::kSetter);
    s.SetSPDATAFileNames(node, data, toc);
}

// A collector killed while it continued a section leaves an item's bytes
// and the first bytes of its TOC entry behind; the next finalisation of
// the pair (at completion) cuts them off again.
void leaveCrashedWriterBehind(unsigned id, unsigned node) {
    const std::pair<std::string, size_t> leftovers[] = {{fileName("/plat_dump/%08X.SpData%u", id, node), 40},
                                                        {fileName("/plat_dump/%08X.SpTOC%u", id, node), 5}};
    for (const auto& [path, bytes] : leftovers) {
        int fd = ::open(platsim::hostPath(path).c_str(), O_WRONLY | O_APPEND);
        if (fd < 0) continue;
        std::string junk(bytes, '\x77');
        if (::write(fd, junk.data(), junk.size()) != static_cast<ssize_t>(junk.size())) std::perror(path.c_str());
        ::close(fd);
    }
}

// A whole file written through the library's file class; false when any
// of it did not reach the file.
bool writeWholeFile(RunRecord& r, const char* dump, const std::string& path, const std::string& bytes) {
    during(r, dump, step::kFileWrite);
    DumpUtilFile file(path.c_str());
    if (!r.entry("open " + path, file.open("w+"))) return false;
    uint32_t written = file.write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bool whole = r.entry("write " + path, file.takeError()) && written == bytes.size();
    r.call("whole " + path, whole);
    file.Close();
    r.entry("close " + path, file.takeError());
    return whole;
}

void recordRequest(RunRecord& r, DumpSummary& s, const ErrlEntry& savedLog) {
    const char* dump = step::kSystemDump;
    char client[] = "fault sweep", user[] = "collector";
    during(r, dump, step::kSetter);
    s.setDumpFlags(dump::layout::sum::mainstoreCollectionFlag);
    s.setClientId(client);
    s.setUserId(user);
    s.setToolType(3);
    s.setPLId(savedLog.plid());
    s.setContent(0x400);
    s.setFailingUnitId(0x00C0FFEE);
    s.setHypMode(1);
    s.setHardwareObjectModel(0x1234);
    s.setHardwareErrorFlags(0x0011);
    s.clearHardwareErrorFlags(0x0010);
    s.setMemoryDumpErrorFlags(0x40);
    s.setMemoryDumpErrorFlagsByMask(0x1);
    s.setMainstorePriority(3);
    SrciSrc src(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, kSystemDump, 0, 0,
                EPUB_FIRMWARE_SP);
    during(r, dump, step::kSrc);
    r.entry("SaveFlattenedSRC", s.SaveFlattenedSRC(src));
    std::string mdst = kMdstFile;
    during(r, dump, step::kSetter);
    s.setMDSTFileName(mdst, kMdstSize);
    std::string resource = fileName("/plat_dump/%08X.RES", kSystemDump);
    if (writeWholeFile(r, dump, resource, "resource data")) {
        during(r, dump, step::kSetter);
        s.setResourceDumpFileName(resource);
    }
    std::string name;
    during(r, dump, step::kGetter);
    s.getResourceDumpFileName(name);
}

void collectHardware(RunRecord& r, DumpSummary& s, DumpStatusLogger& status) {
    during(r, step::kSystemDump, step::kSetter);
    s.SetTotalHDCTItemCount(kNodes * kHardwareItems);
    s.setHardwareNodeCount(kNodes);
    s.setHardwareCollectionStartTime(stamp(0x31));
    status.setHardwareCollectionStarted();
    for (unsigned node = 0; node < kNodes; ++node) {
        status.setStartCollectionPhase(node + 1);
        writeHardwareSection(r, s, kSystemDump, node, kHardwareItems);
        writeServiceProcessorSection(r, s, kSystemDump, node);
        status.setEndCollectionPhase(node + 1);
        during(r, step::kSystemDump, step::kGetter);
        r.answer("progress", std::to_string(s.GetHardwareDumpProgress()) + " " + std::to_string(s.GetDumpProgress()));
    }
    during(r, step::kSystemDump, step::kSetter);
    s.setHardwareCollectionEndTime(stamp(0x32));
    s.setDumpFlagsByMask(dump::layout::sum::hardwareCollectionDoneFlag);
    status.setHardwareCollectionDone();
}

void collectSystemSection(RunRecord& r, DumpSummary& s, DumpStatusLogger& status, ErrlEntry*& savedLog) {
    during(r, step::kSystemDump, step::kFileWrite);
    status.setSystemCollectionStarted();
    // A file outside the repository, pushed to the backup as a whole, and
    // saved into the dump.
    {
        DumpUtilFile config(kConfigFile);
        if (r.entry("open config", config.open("w+"))) {
            const char text[] = "policy=3\nnodes=2\n";
            uint32_t written = config.writeDirect(text, sizeof text - 1);
            r.call("write config", r.entry("write config error", config.takeError()) && written == sizeof text - 1);
            config.Sync();
            config.Close();
            config.clearError();
        }
    }
    dumpAddDetails(DumpRegistryInfo(DUMP_COMPONENT_ID), savedLog);
    during(r, step::kSystemDump, step::kSystemSection);
    ErrlEntry* errl = nullptr;
    DumpSystemNodal system(&s, errl);
    if (!r.entry("DumpSystemNodal", errl)) return;
    r.entry("gatherSystemNodalInformation", system.gatherSystemNodalInformation());
    r.call("SaveRegistryNVPair registry", system.SaveRegistryNVPair("fstp/SystemName", true));
    r.call("SaveRegistryNVPair file", system.SaveRegistryNVPair(kConfigFile, false));
    r.call("SaveErrorToDump", system.SaveErrorToDump(savedLog, kSavedLogEntry));
    status.setSystemCollectionDone();
}

// The MDRT over regions; true when the dump records it (only a whole
// table is recorded).
bool recordMainStore(RunRecord& r, DumpSummary& s, unsigned id, const std::vector<Region>& regions) {
    const char* dump = dumpOf(id);
    std::string table;
    uint64_t bytes = 0;
    for (const Region& g : regions) {
        std::string e(32, '\0');
        for (int b = 0; b < 8; ++b) e[8 + b] = static_cast<char>(g.address >> (56 - 8 * b));
        for (int b = 0; b < 4; ++b) e[20 + b] = static_cast<char>(g.length >> (24 - 8 * b));
        table += e;
        bytes += g.length;
    }
    std::string path = fileName("/plat_dump/%08X.MDRT", id);
    if (!writeWholeFile(r, dump, path, table)) return false;
    during(r, dump, step::kSetter);
    s.setMDRTFileName(path, static_cast<unsigned>(table.size()));
    s.setMDRTTableSize(static_cast<unsigned>(table.size()));
    s.setMDRTAddress(kMdrtAddress);
    s.setMemoryDumpSize(bytes);
    s.setDumpFlagsByMask(dump::layout::sum::mainstoreDumpExistsFlag);
    return true;
}

void collectMainStore(RunRecord& r, DumpSummary& s, DumpStatusLogger& status) {
    status.setMainStoreCollectionStarted();
    during(r, step::kSystemDump, step::kSetter);
    s.setMemoryDumpStartTime(stamp(0x33));
    recordMainStore(r, s, kSystemDump, systemDumpRegions());
    during(r, step::kSystemDump, step::kSetter);
    s.setMemoryDumpCompletionTime(stamp(0x34));
    s.SetPrivateFlagsByMask(kPrivateStepDone);
    s.ClearPrivateFlagsByMask(0x8);
    s.IncrementTCEErrorCount();
    status.setMainStoreCollectionDone();
}

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
    ErrlEntry* errl = nullptr;
    during(r, dump, step::kCreation);
    DumpSummary s(DumpSummary::SYS, kSystemDump, errl);
    if (!r.entry("DumpSummary create system dump", errl)) return false;
    DumpStatusLogger status(kSystemDump);
    status.setSystemDumpRequested();
    status.setHeaderCollection();
    status.setWaitingState();
    recordRequest(r, s, *savedLog);
    collectHardware(r, s, status);
    collectSystemSection(r, s, status, savedLog);
    collectMainStore(r, s, status);
    leaveCrashedWriterBehind(kSystemDump, 1);
    during(r, dump, step::kCompletion);
    s.setDumpComplete();
    readBack(r, s);
    {
        // Another program's view of the dump: the SRC read back.
        during(r, dump, step::kOpening);
        DumpSummary reader(kSystemDump, errl);
        during(r, dump, step::kSrc);
        if (r.entry("DumpSummary open system dump", errl)) r.call("getSrc", reader.getSrc() != nullptr);
        during(r, dump, step::kDestruction);
    }
    during(r, dump, step::kDestruction);
    return true;
}

bool collectUnitDump(RunRecord& r) {
    const char* dump = step::kUnitDump;
    ErrlEntry* errl = nullptr;
    during(r, dump, step::kCreation);
    DumpSummary s(DumpSummary::HWU, kUnitDump, errl);
    if (!r.entry("DumpSummary create unit dump", errl)) return false;
    DumpStatusLogger(kUnitDump).setHardwareUnitDumpRequested();
    during(r, dump, step::kSetter);
    s.SetTotalHDCTItemCount(1);
    s.setHardwareNodeCount(1);
    writeHardwareSection(r, s, kUnitDump, 0, 1);
    during(r, dump, step::kFailureMarking);
    s.mainstoreCollectionFailed(0x10);
    // The first setting of hwErrorFlags bit 0x0200 commits a log.
    s.hwSysCollectionFailed(0x8200);
    recordMainStore(r, s, kUnitDump, {unitDumpRegion()});
    during(r, dump, step::kCompletion);
    s.setDumpComplete();
    during(r, dump, step::kDestruction);
    return true;
}

}  // namespace sweep
