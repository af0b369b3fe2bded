#include "streamText.h"

#include "streamJson.h"
#include "textFormat.h"

namespace platdump {

using namespace decode;

namespace {

void printEntry(std::ostream& out, const TocEntry& e, NodalKind kind) {
    out << "      entry at " << num(e.offset) << ": ";
    if (kind == NodalKind::Hardware) {
        out << "hwWords";
        for (uint32_t w : e.hwWord) out << " " << hex(w, 8);
        out << ", spare bits " << e.spareBits;
    } else {
        out << "entryId " << hex(e.entryId, 8);
    }
    out << ", data " << num(e.dataOffset) << " +" << num(e.dataSize) << "\n";
}

void printNodal(std::ostream& out, const std::optional<NodalFile>& file) {
    if (!file) return;
    const NodalFile& f = *file;
    const TocHeader& h = f.header;
    out << "    " << nodalKindName(f.kind) << " TOC at " << num(f.tocOffset) << ", " << num(f.tocLength)
        << " bytes: sectionIndex " << h.sectionIndex << ", contentCode " << h.contentCode << ", entryCount "
        << h.entryCount << ", entrySize " << h.entrySize << ", totalSize " << num(h.totalSize) << ", dataFileSize "
        << num(h.dataFileSize) << "\n";
    for (const TocEntry& e : f.entries) printEntry(out, e, f.kind);
    if (f.entries.size() < h.entryCount) out << "      (" << h.entryCount - f.entries.size() << " entries not listed)\n";
    out << "    " << nodalKindName(f.kind) << " data at " << num(f.dataOffset) << ", " << num(f.dataLength)
        << " bytes (" << num(f.itemsLength) << " of items, " << f.padLength << " pad)"
        << (f.complete ? "" : ", cut short by the end of the stream") << "\n";
}

void printHardware(std::ostream& out, const HardwareSection& hw) {
    out << "\nHardware data at " << num(hw.offset) << ": " << num(hw.length) << " bytes (declared "
        << num(hw.declaredSize) << "), " << hw.groups.size() << " node groups\n";
    for (size_t i = 0; i < hw.groups.size(); ++i) {
        out << "  node group " << i << "\n";
        printNodal(out, hw.groups[i].hardware);
        printNodal(out, hw.groups[i].serviceProcessor);
    }
    if (hw.system) out << "  system\n";
    printNodal(out, hw.system);
}

void printHypervisor(std::ostream& out, const HypervisorSection& h) {
    out << "\nHypervisor data at " << num(h.offset) << ": " << num(h.length) << " bytes\n"
        << "  MDRT at " << num(h.offset) << ": " << num(h.mdrtLength) << " bytes, " << h.entryCount << " entries\n";
    for (size_t i = 0; i < h.entries.size(); ++i) {
        const MdrtEntry& e = h.entries[i];
        out << "    entry at " << num(e.offset) << ": address " << hex(e.address, 16) << ", length " << num(e.length);
        if (i < h.regions.size())
            out << ", region at " << num(h.regions[i].offset)
                << (h.regions[i].present < e.length ? " (cut short)" : "");
        out << "\n";
    }
}

}  // namespace

void printFileHeader(std::ostream& out, const FileHeader& header) {
    out << "\nFile header at 0: " << header.offloadedSize << " bytes offloaded\n";
    printFields(out, fileHeaderJson(header), {"sections"});
    for (const SectionHeader& s : header.sections)
        out << "  section header at " << num(s.offset) << ": \"" << s.sectionName << "\", sectionSize "
            << num(s.sectionSize) << ", priority " << s.sectionPriority << ", lastSectionFlag " << s.lastSectionFlag
            << ", version " << s.sectionVersion << "\n";
}

void printFindings(std::ostream& out, const Findings& findings) {
    size_t errors = findings.errorCount();
    size_t notices = findings.all().size() - errors;
    out << "\nFindings: " << errors << " errors, " << notices << " notices\n";
    for (const Finding& f : findings.all())
        out << "  " << (f.severity == Severity::Error ? "error " : "notice") << " at " << num(f.offset) << ": "
            << f.message << "\n";
}

void printStream(std::ostream& out, const std::string& name, const DecodedStream& d) {
    out << name << ": " << num(d.size) << " bytes\n";
    if (d.header.present) printFileHeader(out, d.header);
    if (d.summary) {
        out << "\nSummary at " << num(d.summary->offset) << "\n";
        printFields(out, summaryJson(*d.summary), {"offset"});
    }
    if (d.hardware) printHardware(out, *d.hardware);
    if (d.hypervisor) printHypervisor(out, *d.hypervisor);
    printFindings(out, d.findings);
    out << "\n" << (d.consistent() ? "The stream is consistent." : "The stream is NOT consistent.") << "\n";
}

}  // namespace platdump
