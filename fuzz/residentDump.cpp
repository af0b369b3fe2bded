#include "fuzz/residentDump.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "dump/summary/summaryLayout.h"
#include "fuzz/fuzzRoot.h"
#include "platdump/platdump.h"
#include "platform/bigEndian.h"
#include "platform/orlaDataBuffer.h"
#include "platform/sim/platsim.h"

namespace fuzzsupport {

namespace {

constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC
constexpr unsigned int kPrivateStepDone = 0x4;

struct Region {
    uint64_t address;
    uint32_t length;
};
const Region kRegions[] = {{0x1000, 256}, {0x8010, 200}};

[[noreturn]] void fail(const std::string& what, ErrlEntry* e = nullptr) {
    std::fprintf(stderr, "resident dump: %s%s\n", what.c_str(), e ? " (the library returned an error log)" : "");
    std::abort();
}
void check(ErrlEntry* e, const std::string& what) {
    if (e) fail(what, e);
}

void prepareMachine() {
    for (const auto& [key, value] : platsim::runningServerRegistry()) platsim::setRegistry(key, value);
    platsim::setClock(kClock);
    std::string store(kMainStoreSize, '\0');
    for (uint64_t a = 0; a < kMainStoreSize; ++a) store[a] = static_cast<char>(mainStoreByte(a));
    platsim::writeMainStore(0, store);
}

std::string readHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

ResidentFile residentFile(const std::string& spPath) {
    std::string host = hostPath(spPath);
    return ResidentFile{spPath, host, readHostFile(host)};
}

void writeHardware(DumpSummary& summary) {
    std::string toc = "0000001A.HwTOC0", data = "0000001A.HwData0";
    {
        DumpNodalSection section(DumpNodalSection::HWDATA, &summary);
        check(section.createNodalFiles(toc, data, 0), "hardware files");
        const uint32_t bits[] = {64, 125, 8, 203};
        for (uint32_t i = 0; i < 4; ++i) {
            orlaDataBuffer buffer(bits[i]);
            for (uint32_t b = 0; b < buffer.getByteLength(); ++b) buffer.setByte(b, static_cast<uint8_t>(0x40 + i * 7 + b));
            DumpHwTocEntry entry{0x00010000u, i, 0x20000000u | i, bits[i], 0, 0x80000000u, 0};
            check(section.writeEntry(entry, buffer), "hardware item");
            summary.IncrementFinishedHDCTItemCount();
        }
    }
    summary.SetHWDATAFileNames(0, data, toc);
}

void writeItems(DumpSummary& summary, DumpNodalSection::DumpNodalType_t type, std::string toc, std::string data,
                const std::vector<std::string>& items) {
    {
        DumpNodalSection section(type, &summary);
        check(section.createNodalFiles(toc, data, 0), "nodal files " + toc);
        for (size_t i = 0; i < items.size(); ++i) {
            std::string bytes = items[i];
            DumpSpTocEntry entry{0xF2000000u | static_cast<uint32_t>(i), 0, static_cast<uint32_t>(bytes.size())};
            check(section.writeEntry(entry, bytes.data()), "nodal item of " + toc);
        }
    }
    if (type == DumpNodalSection::SYSDATA)
        summary.SetSYSDATAFileNames(data, toc);
    else
        summary.SetSPDATAFileNames(0, data, toc);
}

std::string writeMdrt(DumpSummary& summary) {
    std::string table(sizeof kRegions / sizeof kRegions[0] * kMdrtEntrySize, '\0');
    uint8_t* t = reinterpret_cast<uint8_t*>(table.data());
    uint64_t bytes = 0;
    for (size_t i = 0; i < sizeof kRegions / sizeof kRegions[0]; ++i) {
        std::snprintf(table.data() + i * kMdrtEntrySize, 9, "REGION%02u", static_cast<unsigned>(i));
        be::putU64(t, i * kMdrtEntrySize + kMdrtAddressAt, kRegions[i].address);
        be::putU32(t, i * kMdrtEntrySize + kMdrtLengthAt, kRegions[i].length);
        bytes += kRegions[i].length;
    }
    std::string path = "/plat_dump/0000001A.MDRT";
    {
        DumpUtilFile file(path.c_str());
        check(file.open("w+"), "MDRT file");
        file.write(table.data(), static_cast<uint32_t>(table.size()));
        check(file.takeError(), "MDRT write");
        file.Close();
    }
    summary.setMDRTFileName(path, static_cast<unsigned int>(table.size()));
    summary.setMDRTTableSize(static_cast<unsigned int>(table.size()));
    summary.setMDRTAddress(0xF00000);
    summary.setMemoryDumpSize(bytes);
    summary.setDumpFlagsByMask(dump::layout::sum::mainstoreDumpExistsFlag);
    return path;
}

void collect(ResidentDump& d, std::string& summaryName, std::vector<std::string>& names);

ResidentDump makeResidentDump() {
    processRoot();
    prepareMachine();
    ResidentDump d;
    std::string summaryName;
    std::vector<std::string> names;
    collect(d, summaryName, names);
    d.summary = residentFile(summaryName);
    for (const std::string& name : names)
        if (name == d.mdrt.spPath)
            d.mdrt = residentFile(name);
        else
            d.nodalFiles.push_back(residentFile(name));
    return d;
}

// The collector's work, from creation to completion; the files are read
// once the summary is closed.
void collect(ResidentDump& d, std::string& summaryName, std::vector<std::string>& names) {
    ErrlEntry* errl = nullptr;
    DumpSummary summary(DumpSummary::SYS, kResidentId, errl);
    check(errl, "summary");
    char client[] = "platdump fuzz", user[] = "service";
    summary.setClientId(client);
    summary.setUserId(user);
    summary.setToolType(1);
    summary.setDumpFlagsByMask(dump::layout::sum::mainstoreCollectionFlag);
    SrciSrc src(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, kResidentId, 0, 0,
                EPUB_FIRMWARE_SP);
    summary.SaveFlattenedSRC(src);
    summary.SetTotalHDCTItemCount(4);
    summary.setHardwareNodeCount(1);
    writeHardware(summary);
    writeItems(summary, DumpNodalSection::SPDATA, "0000001A.SpTOC0", "0000001A.SpData0",
               {"service processor trace", std::string(37, '\x5A'), "registers"});
    summary.setDumpFlagsByMask(dump::layout::sum::hardwareCollectionDoneFlag);
    writeItems(summary, DumpNodalSection::SYSDATA, "0000001A.SysTOC", "0000001A.SysData",
               {"console hmc1", "file system 12% used"});
    d.mdrt.spPath = writeMdrt(summary);
    summary.SetPrivateFlagsByMask(kPrivateStepDone);
    summary.setDumpComplete();
    summary.getSummaryFileName(summaryName);
    summary.getIntermediateFileNames(names);
}

}  // namespace

uint8_t mainStoreByte(uint64_t address) {
    return static_cast<uint8_t>((address * 0x9E3779B1u) >> 13 ^ address);
}

void ResidentDump::restore() const {
    writeWhole(summary.hostPath, summary.bytes.data(), summary.bytes.size());
    writeWhole(mdrt.hostPath, mdrt.bytes.data(), mdrt.bytes.size());
    for (const ResidentFile& f : nodalFiles) writeWhole(f.hostPath, f.bytes.data(), f.bytes.size());
}

const ResidentDump& residentDump() {
    static const ResidentDump dump = makeResidentDump();
    return dump;
}

}  // namespace fuzzsupport
