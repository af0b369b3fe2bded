#include "checkReport.h"

#include <algorithm>

#include "decode/record.h"

namespace platdump {
namespace check {

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

}  // namespace check
}  // namespace platdump
