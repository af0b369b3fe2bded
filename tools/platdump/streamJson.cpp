#include "streamJson.h"

#include "timeText.h"

namespace platdump {

using namespace decode;

namespace {

Json section(const SectionHeader& s) {
    return Json{{"offset", s.offset},
                {"sectionEyeCatcher", s.sectionEyeCatcher},
                {"sectionHeaderLength", s.sectionHeaderLength},
                {"sectionPriority", s.sectionPriority},
                {"lastSectionFlag", s.lastSectionFlag},
                {"sectionVersion", s.sectionVersion},
                {"sectionSize", s.sectionSize},
                {"sectionName", s.sectionName}};
}

}  // namespace

Json fileHeaderJson(const FileHeader& h) {
    Json sections = Json::array();
    for (const SectionHeader& s : h.sections) sections.push_back(section(s));
    return Json{{"fileEyeCatcher", h.fileEyeCatcher},     {"fileHeaderLength", h.fileHeaderLength},
                {"fileHeaderVersion", h.fileHeaderVersion}, {"dumpTypeCode", h.dumpTypeCode},
                {"dumpFileName", h.dumpFileName},         {"dumpType", kindInfo(h.kind).name},
                {"offloadedSize", h.offloadedSize},       {"sections", sections}};
}

Json summaryJson(const SummarySection& s) {
    return Json{{"offset", s.offset},
                {"summaryEyeCatcher", s.summaryEyeCatcher},
                {"dumpCreationTime", bcdDate(s.dumpCreationTime)},
                {"summaryDumpId", s.summaryDumpId},
                {"summaryVersion", s.summaryVersion},
                {"summaryLength", s.summaryLength},
                {"totalDumpSize", s.totalDumpSize},
                {"machineTypeModelInfo", s.machineTypeModelInfo},
                {"systemName", s.systemName},
                {"machineSerialNumber", s.machineSerialNumber},
                {"creationFlag", s.creationFlag},
                {"systemLogId", s.systemLogId},
                {"fileHeaderSize", s.fileHeaderSize},
                {"dumpSrcSize", s.dumpSrcSize},
                {"dumpSrc", hexText(s.dumpSrc)},
                {"toolType", s.toolType},
                {"clientId", s.clientId},
                {"userId", s.userId},
                {"dumpFlags", s.dumpFlags},
                {"dumpFlagNames", s.dumpFlagNames},
                {"hwErrorFlags", s.hwErrorFlags},
                {"hardwareObjectModel", s.hardwareObjectModel},
                {"memoryDumpErrorFlags", s.memoryDumpErrorFlags},
                {"memoryDumpStartTime", bcdDate(s.memoryDumpStartTime)},
                {"memoryDumpCompletionTime", bcdDate(s.memoryDumpCompletionTime)},
                {"voskInfoData", hexText(s.voskInfoData)},
                {"hypMode", s.hypMode},
                {"voskDumpContent", s.voskDumpContent},
                {"hardwareNodeCount", s.hardwareNodeCount},
                {"nodalDataSize", s.nodalDataSize},
                {"hwDumpTotalSize", s.hwDumpTotalSize},
                {"mdrtTableSize", s.mdrtTableSize},
                {"mdrtAddress", s.mdrtAddress},
                {"memoryDumpSize", s.memoryDumpSize},
                {"voskInfoTime", bcdDate(s.voskInfoTime)},
                {"hardwareCollectionEndTime", bcdDate(s.hardwareCollectionEndTime)},
                {"contentType", s.contentType},
                {"failingUnitId", s.failingUnitId},
                {"voskHrmor", hexText(s.voskHrmor)},
                {"voskInfoWords", hexText(s.voskInfoWords)},
                {"hardwareCollectionStartTime", bcdDate(s.hardwareCollectionStartTime)}};
}

namespace {

Json tocEntry(const TocEntry& e, NodalKind kind) {
    Json j{{"offset", e.offset}};
    if (kind == NodalKind::Hardware) {
        j["hwWords"] = Json::array({e.hwWord[0], e.hwWord[1], e.hwWord[2], e.hwWord[3], e.hwWord[4]});
        j["spareBits"] = e.spareBits;
    } else {
        j["entryId"] = e.entryId;
    }
    j["dataOffset"] = e.dataOffset;
    j["dataSize"] = e.dataSize;
    return j;
}

Json nodal(const std::optional<NodalFile>& file) {
    if (!file) return nullptr;
    const NodalFile& f = *file;
    const TocHeader& h = f.header;
    Json entries = Json::array();
    for (const TocEntry& e : f.entries) entries.push_back(tocEntry(e, f.kind));
    return Json{{"kind", nodalKindName(f.kind)},
                {"tocOffset", f.tocOffset},
                {"tocLength", f.tocLength},
                {"dataOffset", f.dataOffset},
                {"dataLength", f.dataLength},
                {"padLength", f.padLength},
                {"complete", f.complete},
                {"sectionName", h.sectionName},
                {"headerSize", h.headerSize},
                {"version", h.version},
                {"contentCode", h.contentCode},
                {"totalSize", h.totalSize},
                {"layoutCode", h.layoutCode},
                {"sectionIndex", h.sectionIndex},
                {"dataFileSize", h.dataFileSize},
                {"entryCount", h.entryCount},
                {"entrySize", h.entrySize},
                {"entries", entries}};
}

Json hardware(const HardwareSection& hw) {
    Json groups = Json::array();
    for (const NodeGroup& g : hw.groups)
        groups.push_back(Json{{"hardware", nodal(g.hardware)}, {"serviceProcessor", nodal(g.serviceProcessor)}});
    return Json{{"offset", hw.offset}, {"length", hw.length}, {"declaredSize", hw.declaredSize},
                {"complete", !hw.cut}, {"nodeGroups", groups},  {"system", nodal(hw.system)}};
}

Json hypervisor(const HypervisorSection& h) {
    Json entries = Json::array();
    for (const MdrtEntry& e : h.entries)
        entries.push_back(Json{{"offset", e.offset},   {"field0", e.field0},   {"address", e.address},
                               {"field16", e.field16}, {"length", e.length}, {"field24", e.field24}});
    Json regions = Json::array();
    for (const MainStoreRegion& r : h.regions)
        regions.push_back(
            Json{{"offset", r.offset}, {"address", r.address}, {"length", r.length}, {"present", r.present}});
    return Json{{"offset", h.offset},   {"length", h.length},       {"complete", !h.cut},
                {"mdrtLength", h.mdrtLength}, {"entryCount", h.entryCount}, {"regionBytes", h.regionBytes},
                {"mdrt", entries},       {"regions", regions}};
}

}  // namespace

Json findingsJson(const Findings& all) {
    Json list = Json::array();
    for (const Finding& f : all.all())
        list.push_back(Json{{"offset", f.offset},
                            {"severity", f.severity == Severity::Error ? "error" : "notice"},
                            {"message", f.message}});
    return list;
}

Json toJson(const DecodedStream& d) {
    Json j{{"size", d.size}, {"consistent", d.consistent()}};
    j["fileHeader"] = d.header.present ? fileHeaderJson(d.header) : Json(nullptr);
    j["summary"] = d.summary ? summaryJson(*d.summary) : Json(nullptr);
    j["hardwareData"] = d.hardware ? hardware(*d.hardware) : Json(nullptr);
    j["hypervisorData"] = d.hypervisor ? hypervisor(*d.hypervisor) : Json(nullptr);
    j["findings"] = findingsJson(d.findings);
    return j;
}

}  // namespace platdump
