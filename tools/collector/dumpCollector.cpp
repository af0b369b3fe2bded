#include "dumpCollector.h"

#include <algorithm>
#include <cstdio>

#include "dump/summary/summaryLayout.h"
#include "platdump/platdump.h"
#include "platform/bigEndian.h"
#include "platform/orlaDataBuffer.h"

namespace collector {

namespace {

namespace sum = dump::layout::sum;

constexpr uint32_t kServiceProcessorEntryBase = 0xF2000000;  // trace buffers, registers

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

BCD_time8_t stampOf(const Plan& plan, Moment moment) {
    if (plan.stamp) return plan.stamp(moment);
    BCD_time8_t t{};
    uint32_t status = 0;
    delete rtim_GetTimeOfDay(t, status, true, false, false, false);
    return t;
}

void writeServiceProcessorSection(DumpSummary& s, const Plan& plan, unsigned node, Hooks& h, Progress& p) {
    const unsigned id = s.getDumpId();
    std::string toc = fileName("%08X.SpTOC%u", id, node), data = fileName("%08X.SpData%u", id, node);
    const unsigned items = plan.serviceProcessorItemsOf(node);
    {
        h.stage(Stage::nodalWrite);
        DumpNodalSection section(DumpNodalSection::SPDATA, &s);
        bool created = h.entry("createNodalFiles SPDATA", section.createNodalFiles(toc, data, node));
        Numbers n{0x5B000000u + node};
        for (unsigned i = 0; created && i < items; ++i) {
            std::string bytes(plan.serviceProcessorBytes.base + n.next() % plan.serviceProcessorBytes.spread, '\0');
            for (char& c : bytes) c = static_cast<char>(n.next());
            DumpSpTocEntry entry{kServiceProcessorEntryBase | (node << 8) | i, 0, static_cast<uint32_t>(bytes.size())};
            h.entry("writeEntry SPDATA", section.writeEntry(entry, &bytes[0]));
            p.serviceProcessorBytes += bytes.size();
        }
        h.stage(Stage::nodalFinalisation);
        if (!created) return;
    }
    h.stage(Stage::setter);
    s.SetSPDATAFileNames(node, data, toc);
    p.serviceProcessorItems.push_back(items);
}

void recordRequest(DumpSummary& s, const Plan& plan, Hooks& h, Progress& p) {
    h.stage(Stage::setter);
    s.setDumpFlags(sum::mainstoreCollectionFlag);
    std::string client = plan.client, user = plan.user;
    s.setClientId(client.data());
    s.setUserId(user.data());
    s.setToolType(plan.toolType);
    h.stage(Stage::src);
    SrciSrc src = requestSrc(plan.id);
    h.entry("SaveFlattenedSRC", s.SaveFlattenedSRC(src));
    h.reached(Milestone::requestRecorded, s, p);
}

void collectHardware(DumpSummary& s, const Plan& plan, DumpStatusLogger& status, Hooks& h, Progress& p) {
    unsigned total = 0;
    for (unsigned node = 0; node < plan.nodes; ++node) total += plan.hardwareItemsOf(node);
    h.stage(Stage::setter);
    s.SetTotalHDCTItemCount(total);
    s.setHardwareNodeCount(plan.nodes);
    s.setHardwareCollectionStartTime(stampOf(plan, Moment::hardwareStart));
    status.setHardwareCollectionStarted();
    h.reached(Milestone::hardwareStarted, s, p);
    for (unsigned node = 0; node < plan.nodes; ++node) {
        status.setStartCollectionPhase(node + 1);
        writeHardwareSection(s, plan, node, plan.hardwareItemsOf(node), h, p);
        writeServiceProcessorSection(s, plan, node, h, p);
        status.setEndCollectionPhase(node + 1);
        h.stage(Stage::getter);
        p.hardwareProgress = s.GetHardwareDumpProgress();
        p.dumpProgress = s.GetDumpProgress();
        h.answer("progress", std::to_string(p.hardwareProgress) + " " + std::to_string(p.dumpProgress));
        h.reached(Milestone::nodeCollected, s, p);
    }
    h.stage(Stage::setter);
    s.setHardwareCollectionEndTime(stampOf(plan, Moment::hardwareEnd));
    s.setDumpFlagsByMask(sum::hardwareCollectionDoneFlag);
    status.setHardwareCollectionDone();
}

void collectSystemSection(DumpSummary& s, const Plan& plan, DumpStatusLogger& status, Hooks& h, Progress& p) {
    h.stage(Stage::fileWrite);  // the status log's line
    status.setSystemCollectionStarted();
    h.reached(Milestone::systemSectionDue, s, p);
    h.stage(Stage::systemSection);
    ErrlEntry* errl = nullptr;
    DumpSystemNodal system(&s, errl);
    if (!h.entry("DumpSystemNodal", errl)) return;
    h.entry("gatherSystemNodalInformation", system.gatherSystemNodalInformation());
    for (const SavedValue& v : plan.savedValues) {
        bool saved = system.SaveRegistryNVPair(v.name.c_str(), v.fromRegistry);
        h.call("SaveRegistryNVPair " + v.name, saved);
        p.savedValues += saved ? 1 : 0;
    }
    if (plan.savedLog) {
        ErrlEntry* log = plan.savedLog;
        p.logSaved = system.SaveErrorToDump(log, plan.savedLogEntry);
        h.call("SaveErrorToDump", p.logSaved);
    }
    status.setSystemCollectionDone();
    h.reached(Milestone::systemSectionDone, s, p);
}

void collectMainStore(DumpSummary& s, const Plan& plan, DumpStatusLogger& status, Hooks& h, Progress& p) {
    status.setMainStoreCollectionStarted();
    h.stage(Stage::setter);
    s.setMemoryDumpStartTime(stampOf(plan, Moment::mainStoreStart));
    recordMainStore(s, plan.id, plan.regions, h, p);
    h.stage(Stage::setter);
    s.setMemoryDumpCompletionTime(stampOf(plan, Moment::mainStoreEnd));
    s.SetPrivateFlagsByMask(dump::layout::names::privateStepDoneFlag);
    h.reached(Milestone::mainStoreRecorded, s, p);
    status.setMainStoreCollectionDone();
}

}  // namespace

bool Hooks::entry(const std::string&, ErrlEntry* e) {
    if (!e) return true;
    dumpCommitAndFreeLog(e);
    return false;
}

bool writeWholeFile(const std::string& path, const std::string& bytes, Hooks& h) {
    h.stage(Stage::fileWrite);
    DumpUtilFile file(path.c_str());
    if (!h.entry("open " + path, file.open("w+"))) return false;
    uint32_t written = file.write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bool whole = h.entry("write " + path, file.takeError()) && written == bytes.size();
    h.call("whole " + path, whole);
    file.Close();
    h.entry("close " + path, file.takeError());
    return whole;
}

SrciSrc requestSrc(unsigned id) {
    return SrciSrc(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, id, 0, 0,
                   EPUB_FIRMWARE_SP);
}

std::unique_ptr<DumpSummary> createDump(const Plan& plan, Hooks& h) {
    h.stage(Stage::creation);
    ErrlEntry* errl = nullptr;
    auto s = std::make_unique<DumpSummary>(DumpSummary::SYS, plan.id, errl);
    if (!h.entry("DumpSummary create system dump", errl)) return nullptr;
    DumpStatusLogger status(plan.id);
    status.setSystemDumpRequested();
    status.setHeaderCollection();
    status.setWaitingState();
    return s;
}

Progress collectDump(DumpSummary& s, const Plan& plan, Hooks& h) {
    Progress p;
    DumpStatusLogger status(plan.id);
    recordRequest(s, plan, h, p);
    collectHardware(s, plan, status, h, p);
    collectSystemSection(s, plan, status, h, p);
    collectMainStore(s, plan, status, h, p);
    h.reached(Milestone::completionDue, s, p);
    h.stage(Stage::completion);
    s.setDumpComplete();
    return p;
}

bool writeHardwareSection(DumpSummary& s, const Plan& plan, unsigned node, unsigned items, Hooks& h, Progress& p) {
    const unsigned id = s.getDumpId();
    std::string toc = fileName("%08X.HwTOC%u", id, node), data = fileName("%08X.HwData%u", id, node);
    {
        h.stage(Stage::nodalWrite);
        DumpNodalSection section(DumpNodalSection::HWDATA, &s);
        bool created = h.entry("createNodalFiles HWDATA", section.createNodalFiles(toc, data, node));
        Numbers n{0x5EED0000u + node};
        for (unsigned i = 0; created && i < items; ++i) {
            orlaDataBuffer buffer(plan.hardwareBits.base + n.next() % plan.hardwareBits.spread);
            for (uint32_t b = 0; b < buffer.getByteLength(); ++b) buffer.setByte(b, static_cast<uint8_t>(n.next()));
            DumpHwTocEntry entry{0x00010000u | node, i, 0x20000000u | (i % 12), buffer.getBitLength(), 0, 0x80000000u, 0};
            h.stage(Stage::nodalWrite);
            h.entry("writeEntry HWDATA", section.writeEntry(entry, buffer));
            p.hardwareBytes += buffer.getByteLength();
            h.stage(Stage::setter);
            s.IncrementFinishedHDCTItemCount();
        }
        if (created) h.answer("HWDATA files", section.getTocFileName() + " " + section.getDataFileName());
        h.stage(Stage::nodalFinalisation);
        if (!created) return false;
    }
    h.stage(Stage::setter);
    s.SetHWDATAFileNames(node, data, toc);
    p.hardwareItems.push_back(items);
    return true;
}

bool recordMainStore(DumpSummary& s, unsigned id, const std::vector<Region>& regions, Hooks& h, Progress& p) {
    std::string table(regions.size() * kMdrtEntrySize, '\0');
    uint8_t* t = reinterpret_cast<uint8_t*>(&table[0]);
    uint64_t bytes = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const Region& r = regions[i];
        table.replace(i * kMdrtEntrySize, std::min<size_t>(r.tag.size(), 8), r.tag, 0, 8);
        be::putU64(t, i * kMdrtEntrySize + kMdrtAddressAt, r.address);
        be::putU32(t, i * kMdrtEntrySize + kMdrtLengthAt, r.length);
        bytes += r.length;
    }
    std::string path = fileName("/plat_dump/%08X.MDRT", id);
    if (!writeWholeFile(path, table, h)) return false;
    h.stage(Stage::setter);
    s.setMDRTFileName(path, static_cast<unsigned>(table.size()));
    s.setMDRTTableSize(static_cast<unsigned>(table.size()));
    s.setMDRTAddress(kMdrtAddress);
    s.setMemoryDumpSize(bytes);
    s.setDumpFlagsByMask(sum::mainstoreDumpExistsFlag);
    p.mdrtPath = path;
    p.mainStoreBytes = bytes;
    return true;
}

}  // namespace collector
