// What the decoder found wrong with a stream: each finding names the byte
// offset in the stream of the field or record at fault. Errors are
// inconsistencies (sizes, offsets or values that contradict the format or
// each other); notices are conditions a well-formed stream can show, such as
// an offload without main store or a section that was never padded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace decode {

enum class Severity { Error, Notice };

struct Finding {
    uint64_t offset;
    Severity severity;
    std::string message;
};

class Findings {
public:
    void error(uint64_t offset, std::string message);
    void notice(uint64_t offset, std::string message);

    const std::vector<Finding>& all() const { return iv_all; }
    size_t errorCount() const;
    // Orders the findings by offset, keeping the order of equal offsets.
    void sortByOffset();

private:
    std::vector<Finding> iv_all;
};

// Reports at most a fixed number of findings for the members of one list
// (the entries of a TOC, the regions of an MDRT), then one finding for all
// that were held back, so a damaged table cannot flood the report.
class CappedFindings {
public:
    CappedFindings(Findings& findings, const std::string& listName);
    ~CappedFindings();
    CappedFindings(const CappedFindings&) = delete;
    CappedFindings& operator=(const CappedFindings&) = delete;

    void error(uint64_t offset, std::string message);

    static constexpr size_t kLimit = 16;

private:
    Findings& iv_findings;
    std::string iv_listName;
    size_t iv_count = 0;
    uint64_t iv_firstHeldBack = 0;
};

// "0x1A2B" (upper-case digits, at least width digits).
std::string hex(uint64_t value, int width = 1);
// "5232 (0x1470)": a size or offset as engineers compare it with a hex dump.
std::string num(uint64_t value);

}  // namespace decode
