#include "streamText.h"

#include <algorithm>
#include <iomanip>

#include "streamJson.h"

namespace platdump {

namespace {

using namespace decode;

std::string value(const Json& v) {
    if (v.is_null()) return "-";
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "yes" : "no";
    if (v.is_number_unsigned()) return num(v.get<uint64_t>());
    if (v.is_array()) {
        std::string out;
        for (const Json& item : v) out += (out.empty() ? "" : ", ") + value(item);
        return out.empty() ? "-" : out;
    }
    return v.dump();
}

// Every member of a JSON object but the skipped one, as aligned lines.
void fields(std::ostream& out, const Json& object, const char* skip = nullptr) {
    size_t width = 0;
    for (auto& [key, v] : object.items()) width = std::max(width, key.size());
    for (auto& [key, v] : object.items()) {
        if (skip && key == skip) continue;
        out << "  " << std::left << std::setw(static_cast<int>(width)) << key << "  " << value(v) << "\n";
    }
}

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

void printFindings(std::ostream& out, const DecodedStream& d) {
    size_t errors = d.findings.errorCount();
    size_t notices = d.findings.all().size() - errors;
    out << "\nFindings: " << errors << " errors, " << notices << " notices\n";
    for (const Finding& f : d.findings.all())
        out << "  " << (f.severity == Severity::Error ? "error " : "notice") << " at " << num(f.offset) << ": "
            << f.message << "\n";
    out << "\n" << (d.consistent() ? "The stream is consistent." : "The stream is NOT consistent.") << "\n";
}

}  // namespace

void printStream(std::ostream& out, const std::string& name, const DecodedStream& d) {
    out << name << ": " << num(d.size) << " bytes\n";
    Json j = toJson(d);
    if (d.header.present) {
        out << "\nFile header at 0: " << d.header.offloadedSize << " bytes offloaded\n";
        fields(out, j["fileHeader"], "sections");
        for (const SectionHeader& s : d.header.sections)
            out << "  section header at " << num(s.offset) << ": \"" << s.sectionName << "\", sectionSize "
                << num(s.sectionSize) << ", priority " << s.sectionPriority << ", lastSectionFlag " << s.lastSectionFlag
                << ", version " << s.sectionVersion << "\n";
    }
    if (d.summary) {
        out << "\nSummary at " << num(d.summary->offset) << "\n";
        fields(out, j["summary"], "offset");
    }
    if (d.hardware) printHardware(out, *d.hardware);
    if (d.hypervisor) printHypervisor(out, *d.hypervisor);
    printFindings(out, d);
}

}  // namespace platdump
