#include "checkOutput.h"

#include <algorithm>

#include "decode/findings.h"

namespace platdump {
namespace check {

namespace {

std::string dumpText(const std::optional<unsigned int>& dump) { return dump ? decode::hex(*dump, 8) : "-"; }

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

Json reportJson(const Report& report, size_t dumps) {
    Json findings = Json::array();
    for (const Finding& f : report.findings())
        findings.push_back(Json{{"kind", f.kind},
                                {"dump", f.dump ? Json(decode::hex(*f.dump, 8)) : Json(nullptr)},
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
