#include "shownDump.h"

#include "decode/findings.h"
#include "errlogText.h"
#include "streamJson.h"
#include "streamText.h"
#include "textFormat.h"

namespace platdump {

namespace {

void printFiles(std::ostream& out, const Json& files) {
    out << "\nFiles named by the summary\n";
    if (files.empty()) out << "  none\n";
    size_t width = 0;
    for (const Json& f : files) width = std::max(width, f["field"].get<std::string>().size());
    for (const Json& f : files) {
        std::string field = f["field"];
        out << "  " << field << std::string(width - field.size() + 2, ' ') << f["name"].get<std::string>();
        if (!f["recordedSize"].is_null()) out << ", recorded " << decode::num(f["recordedSize"].get<uint64_t>());
        out << (f["size"].is_null() ? ", missing now" : ", now " + decode::num(f["size"].get<uint64_t>())) << "\n";
    }
}

void printSection(std::ostream& out, const char* title, const Json& fields) {
    out << "\n" << title << "\n";
    if (fields.is_null())
        out << "  (unreadable)\n";
    else
        printFields(out, fields);
}

}  // namespace

Json shownDumpJson(const ShownDump& d) {
    const decode::SummaryFile& f = d.file;
    const Json& live = d.live;
    return Json{{"dumpId", live["dumpId"]},
                {"kind", live["kind"]},
                {"summaryFile", live["summaryFile"]},
                {"summaryFileSize", f.size},
                {"state", live["state"]},
                {"fileHeader", f.header.present ? fileHeaderJson(f.header) : Json(nullptr)},
                {"summary", f.summary ? summaryJson(*f.summary) : Json(nullptr)},
                {"files", live["files"]},
                {"counters", live["counters"]},
                {"clientRecord", live["clientRecord"]},
                {"src", live["src"]},
                {"flattenedSrcLength", f.flattenedSrcLength},
                {"findings", findingsJson(f.findings)}};
}

void printShownDump(std::ostream& out, const ShownDump& d) {
    const decode::SummaryFile& f = d.file;
    const Json& live = d.live;
    out << "Dump " << decode::hex(live["dumpId"].get<uint64_t>(), 8) << " (" << live["kind"].get<std::string>()
        << "): " << live["summaryFile"].get<std::string>() << ", " << decode::num(f.size) << " bytes\n";
    printSection(out, "State", live["state"]);
    if (f.header.present) printFileHeader(out, f.header);
    if (f.summary) {
        out << "\nSummary\n";
        printFields(out, summaryJson(*f.summary), {"offset"});
    }
    printFiles(out, live["files"]);
    printSection(out, "Counters", live["counters"]);
    printSection(out, "Client record", live["clientRecord"]);
    out << "\nSRC\n";
    if (live["src"].is_null())
        out << "  none\n";
    else
        printSrc(out, live["src"]);
    if (f.flattenedSrcLength > 0) out << "  flattened image: " << decode::num(f.flattenedSrcLength) << " bytes\n";
    if (!f.findings.all().empty()) printFindings(out, f.findings);
}

}  // namespace platdump
