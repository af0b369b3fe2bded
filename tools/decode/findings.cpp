#include "findings.h"

#include <algorithm>
#include <cstdio>

namespace decode {

void Findings::error(uint64_t offset, std::string message) {
    iv_all.push_back({offset, Severity::Error, std::move(message)});
}

void Findings::notice(uint64_t offset, std::string message) {
    iv_all.push_back({offset, Severity::Notice, std::move(message)});
}

size_t Findings::errorCount() const {
    size_t n = 0;
    for (const Finding& f : iv_all)
        if (f.severity == Severity::Error) ++n;
    return n;
}

void Findings::sortByOffset() {
    std::stable_sort(iv_all.begin(), iv_all.end(),
                     [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
}

CappedFindings::CappedFindings(Findings& findings, const std::string& listName)
    : iv_findings(findings), iv_listName(listName) {}

CappedFindings::~CappedFindings() {
    if (iv_count <= kLimit) return;
    iv_findings.error(iv_firstHeldBack, std::to_string(iv_count - kLimit) + " more inconsistencies in " +
                                            iv_listName + " not listed, the first at offset " +
                                            num(iv_firstHeldBack));
}

void CappedFindings::error(uint64_t offset, std::string message) {
    ++iv_count;
    if (iv_count <= kLimit) {
        iv_findings.error(offset, std::move(message));
        return;
    }
    if (iv_count == kLimit + 1) iv_firstHeldBack = offset;
}

std::string hex(uint64_t value, int width) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", width, static_cast<unsigned long long>(value));
    return buf;
}

std::string num(uint64_t value) {
    if (value < 10) return std::to_string(value);
    return std::to_string(value) + " (" + hex(value) + ")";
}

}  // namespace decode
