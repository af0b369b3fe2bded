#include "checkReport.h"

#include <algorithm>

#include "decode/record.h"
#include "dumpId.h"

namespace platdump {
namespace check {

namespace {

std::string dumpText(const std::optional<unsigned int>& dump) { return dump ? idText(*dump) : "-"; }

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void Report::add(const char* kind, std::optional<unsigned int> dump, const std::string& path,
                 const std::string& detail) {
    const std::string readable = decode::printable(reinterpret_cast<const uint8_t*>(path.data()), path.size());
    iv_findings.push_back(Finding{kind, dump, readable, detail});
}

void Report::keepDump(unsigned int id) {
    iv_findings.erase(std::remove_if(iv_findings.begin(), iv_findings.end(),
                                     [id](const Finding& f) { return !f.dump || *f.dump != id; }),
                      iv_findings.end());
}

void Report::group() {
    std::stable_sort(iv_findings.begin(), iv_findings.end(), [](const Finding& a, const Finding& b) {
        if (a.dump.has_value() != b.dump.has_value()) return a.dump.has_value();
        return a.dump && *a.dump < *b.dump;
    });
}

Json reportJson(const Report& report, size_t dumps) {
    Json findings = Json::array();
    for (const Finding& f : report.findings())
        findings.push_back(Json{{"kind", f.kind},
                                {"dump", f.dump ? Json(idText(*f.dump)) : Json(nullptr)},
                                {"path", f.path},
                                {"detail", f.detail}});
    return Json{{"consistent", report.consistent()}, {"dumps", dumps}, {"findings", findings}};
}

void printReport(std::ostream& out, const Report& report, size_t dumps) {
    size_t kindWidth = 0;
    for (const Finding& f : report.findings()) kindWidth = std::max(kindWidth, f.kind.size());
    for (const Finding& f : report.findings())
        out << dumpText(f.dump) << std::string(f.dump ? 2 : 11, ' ') << f.kind
            << std::string(kindWidth - f.kind.size() + 2, ' ') << f.path << ": " << f.detail << "\n";
    out << plural(dumps, "dump", "dumps") << " checked, "
        << (report.findings().empty() ? "no findings" : plural(report.findings().size(), "finding", "findings"));
    if (!report.unreadableFiles().empty())
        out << ", " << plural(report.unreadableFiles().size(), "file", "files") << " unreadable";
    out << ": the repository is " << (report.consistent() ? "consistent" : "NOT consistent") << "\n";
}

}  // namespace check
}  // namespace platdump
