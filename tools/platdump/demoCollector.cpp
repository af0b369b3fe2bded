#include "demoCollector.h"

#include <cstdio>

#include "demoMachine.h"
#include "dump/summary/summaryLayout.h"
#include "platdump/platdump.h"
#include "platdump/dumpNodalSection.h"
#include "platdump/dumpSystemNodal.h"
#include "platform/orlaDataBuffer.h"
#include "textFormat.h"

namespace platdump {

namespace {

// The privateFlags bit the collector sets.
constexpr unsigned int kPrivateStepDone = 0x4;
constexpr uint64_t kMdrtAddress = 0x0000000000F00000ull;
constexpr size_t kMdrtEntry = 32, kMdrtAddressAt = 8, kMdrtLengthAt = 20;
constexpr uint32_t kSpEntryBase = 0xF2000000;    // service-processor items: trace buffers, registers
constexpr uint32_t kTriggerLogEntry = 0x2A170001;  // the error log that caused the dump

// Items of a node: a few more on each node, as nodes differ in units.
unsigned hardwareItems(unsigned node) { return 120 + 8 * node; }
unsigned serviceProcessorItems(unsigned node) { return 16 + 2 * node; }

// The pseudo-random sizes and bytes of the items, the same every run.
struct Numbers {
    uint32_t x;
    uint32_t next() { return x = x * 1103515245u + 12345u, x >> 8; }
};

std::string name(const char* format, unsigned id, unsigned node) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, id, node);
    return buf;
}

BCD_time8_t now() {
    BCD_time8_t t{};
    uint32_t status = 0;
    delete rtim_GetTimeOfDay(t, status, true, false, false, false);
    return t;
}

void writeHardwareSection(DumpSummary& summary, unsigned node, DemoFacts& f) {
    std::string toc = name("%08X.HwTOC%u", f.id, node), data = name("%08X.HwData%u", f.id, node);
    {
        DumpNodalSection section(DumpNodalSection::HWDATA, &summary);
        demoCheck(section.createNodalFiles(toc, data, node), "cannot create the HWDATA files of node " +
                                                                 std::to_string(node));
        Numbers n{0x5EED0000u + node};
        for (unsigned i = 0; i < hardwareItems(node); ++i) {
            uint32_t bits = 64 + n.next() % 6000;
            orlaDataBuffer buffer(bits);
            for (uint32_t b = 0; b < buffer.getByteLength(); ++b) buffer.setByte(b, static_cast<uint8_t>(n.next()));
            DumpHwTocEntry entry{0x00010000u | node, i, 0x20000000u | (i % 12), bits, 0, 0x80000000u, 0};
            demoCheck(section.writeEntry(entry, buffer), "cannot write HWDATA item " + std::to_string(i));
            f.hwBytes += buffer.getByteLength();
            summary.IncrementFinishedHDCTItemCount();
        }
    }
    summary.SetHWDATAFileNames(node, data, toc);
    f.hwItems.push_back(hardwareItems(node));
}

void writeServiceProcessorSection(DumpSummary& summary, unsigned node, DemoFacts& f) {
    std::string toc = name("%08X.SpTOC%u", f.id, node), data = name("%08X.SpData%u", f.id, node);
    {
        DumpNodalSection section(DumpNodalSection::SPDATA, &summary);
        demoCheck(section.createNodalFiles(toc, data, node), "cannot create the SPDATA files of node " +
                                                                 std::to_string(node));
        Numbers n{0x5B000000u + node};
        for (unsigned i = 0; i < serviceProcessorItems(node); ++i) {
            std::string bytes(1024 + n.next() % 7168, '\0');
            for (char& c : bytes) c = static_cast<char>(n.next());
            DumpSpTocEntry entry{kSpEntryBase | (node << 8) | i, 0, static_cast<uint32_t>(bytes.size())};
            demoCheck(section.writeEntry(entry, bytes.data()), "cannot write SPDATA item " + std::to_string(i));
            f.spBytes += bytes.size();
        }
    }
    summary.SetSPDATAFileNames(node, data, toc);
    f.spItems.push_back(serviceProcessorItems(node));
}

void collectHardware(DumpSummary& summary, DemoFacts& f, DemoLog& log) {
    DumpStatusLogger status(f.id);
    unsigned total = 0;
    for (unsigned node = 0; node < kDemoNodes; ++node) total += hardwareItems(node);
    summary.SetTotalHDCTItemCount(total);
    summary.setHardwareNodeCount(kDemoNodes);
    summary.setHardwareCollectionStartTime(now());
    status.setHardwareCollectionStarted();
    log.step("hardware", std::to_string(kDemoNodes) + " nodes, " + std::to_string(total) +
                             " items in the hardware dump content table");
    for (unsigned node = 0; node < kDemoNodes; ++node) {
        status.setStartCollectionPhase(node + 1);
        writeHardwareSection(summary, node, f);
        writeServiceProcessorSection(summary, node, f);
        status.setEndCollectionPhase(node + 1);
        log.more("node " + std::to_string(node) + ": " + std::to_string(f.hwItems[node]) + " HWDATA and " +
                 std::to_string(f.spItems[node]) + " SPDATA items, progress " +
                 std::to_string(summary.GetDumpProgress()) + "%");
    }
    summary.setHardwareCollectionEndTime(now());
    summary.setDumpFlagsByMask(dump::layout::sum::hardwareCollectionDoneFlag);
    status.setHardwareCollectionDone();
}

void collectSystem(DumpSummary& summary, DemoFacts& f, DemoLog& log) {
    DumpStatusLogger status(f.id);
    status.setSystemCollectionStarted();
    ErrlEntry* errl = nullptr;
    DumpSystemNodal system(&summary, errl);
    demoCheck(errl, "cannot create the system section");
    demoCheck(system.gatherSystemNodalInformation(), "cannot gather the system information");
    bool serial = system.SaveRegistryNVPair("svpd/Raw_MachineSerialNumber", true);
    bool systemName = system.SaveRegistryNVPair("fstp/SystemName", true);
    SrciSrc src(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, 0x1A, 0, 0, EPUB_FIRMWARE_SP);
    ErrlEntry* trigger = new ErrlEntry(0x2A00, ERRL_SEV_UNRECOVERABLE, ERRL_ETYPE_NOT_APPLICABLE, src);
    bool logSaved = system.SaveErrorToDump(trigger, kTriggerLogEntry);
    delete trigger;
    status.setSystemCollectionDone();
    log.step("system", "SYSDATA: console connections, file-system use, " +
                           std::to_string(int(serial) + int(systemName)) + " registry values, " +
                           (logSaved ? "the error log that caused the dump" : "no error log (not written)"));
}

void collectMainStore(DumpSummary& summary, DemoFacts& f, DemoLog& log) {
    DumpStatusLogger status(f.id);
    status.setMainStoreCollectionStarted();
    summary.setMemoryDumpStartTime(now());
    std::vector<uint8_t> mdrt(f.regions.size() * kMdrtEntry, 0);
    for (size_t i = 0; i < f.regions.size(); ++i) {
        const DemoRegion& r = f.regions[i];
        uint8_t* e = &mdrt[i * kMdrtEntry];
        for (size_t b = 0; b < 8; ++b) e[b] = static_cast<uint8_t>(r.tag[b]);
        for (size_t b = 0; b < 8; ++b) e[kMdrtAddressAt + b] = static_cast<uint8_t>(r.address >> (56 - 8 * b));
        for (size_t b = 0; b < 4; ++b) e[kMdrtLengthAt + b] = static_cast<uint8_t>(r.length >> (24 - 8 * b));
        f.mainStoreBytes += r.length;
    }
    std::string path = name("/plat_dump/%08X.MDRT", f.id, 0);
    {
        DumpUtilFile file(path.c_str());
        demoCheck(file.open("w+"), "cannot create " + path);
        uint32_t written = file.write(mdrt.data(), static_cast<uint32_t>(mdrt.size()));
        demoCheck(file.takeError(), "cannot write " + path);
        if (written != mdrt.size()) throw DemoFailure("the file system has no room for " + path);
        file.Close();
    }
    summary.setMDRTFileName(path, static_cast<unsigned int>(mdrt.size()));
    summary.setMDRTTableSize(static_cast<unsigned int>(mdrt.size()));
    summary.setMDRTAddress(kMdrtAddress);
    summary.setMemoryDumpSize(f.mainStoreBytes);
    summary.setDumpFlagsByMask(dump::layout::sum::mainstoreDumpExistsFlag);
    summary.setMemoryDumpCompletionTime(now());
    summary.SetPrivateFlagsByMask(kPrivateStepDone);
    status.setMainStoreCollectionDone();
    log.step("main store", "MDRT " + path + " lists " + std::to_string(f.regions.size()) + " regions, " +
                               byteSize(f.mainStoreBytes) + "; progress " +
                               std::to_string(summary.GetDumpProgress()) + "%");
}

}  // namespace

void collectDump(DumpSummary& summary, DemoFacts& f, DemoLog& log) {
    DumpStatusLogger status(f.id);
    status.setHeaderCollection();
    char client[] = "platdump demo", user[] = "service";
    summary.setClientId(client);
    summary.setUserId(user);
    summary.setToolType(1);
    summary.setDumpFlagsByMask(dump::layout::sum::mainstoreCollectionFlag);
    SrciSrc src(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, f.id, 0, 0, EPUB_FIRMWARE_SP);
    summary.SaveFlattenedSRC(src);
    log.step("client", "client \"platdump demo\", user \"service\", SRC " + src.getAsciiString() +
                           " (the failure the dump is for)");

    collectHardware(summary, f, log);
    collectSystem(summary, f, log);
    collectMainStore(summary, f, log);

    summary.setDumpComplete();
    _dumpstate state{};
    state.size = sizeof state;
    if (!summary.PopulateDumpState(&state)) throw DemoFailure("the dump's state cannot be read");
    f.expectedStreamSize = state.dumpSize.value();
    log.step("complete", "progress " + std::to_string(state.progress) + "%, offload stream of " +
                             byteSize(f.expectedStreamSize) + " (" + std::to_string(f.expectedStreamSize) + " bytes)");
}

}  // namespace platdump
