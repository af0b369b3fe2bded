// summary-damaged: what makes a summary file other than the library
// writes it, with what the library makes of it when it cannot open it.
#include <cstdio>

#include "checks.h"
#include "decode/dumpKind.h"
#include "decode/fileHeader.h"
#include "decode/findings.h"
#include "decode/record.h"
#include "decode/summarySection.h"

namespace platdump {
namespace check {

namespace {

using namespace decode;

constexpr size_t kSectionCount = 3;
constexpr uint16_t kSummaryLength = 1024;

// The summary file's bytes as the library reads them.
class Image {
public:
    explicit Image(const CheckedDump& d) : iv_source(d.image.data(), d.image.size()) {
        Findings none;
        iv_record.load(iv_source, 0, d.image.size(), "the summary file", none);
    }
    const Record& operator*() const { return iv_record; }
    const Record* operator->() const { return &iv_record; }

private:
    MemorySource iv_source;
    Record iv_record;
};

std::string quoted(const Record& r, size_t at, size_t width) { return "\"" + r.text(at, width) + "\""; }

void expectChars(std::vector<std::string>& problems, const Record& r, size_t at, const char* field, const char* chars) {
    if (!r.holds(at, chars, 8)) problems.push_back(std::string(field) + " is " + quoted(r, at, 8) + ", not \"" + chars + "\"");
}

void expectLength(std::vector<std::string>& problems, const Record& r, size_t at, const char* field, uint16_t length) {
    if (r.u16(at) != length)
        problems.push_back(std::string(field) + " is " + std::to_string(r.u16(at)) + ", not " + std::to_string(length));
}

void checkSize(const CheckedDump& d, const Record& r, std::vector<std::string>& problems) {
    if (d.size < summaryfile::kLength)
        problems.push_back("the file has " + num(d.size) + " bytes, fewer than the " +
                           std::to_string(summaryfile::kLength) + " of its three regions");
    const uint16_t srcSize = r.u16(summaryfile::kSummaryRegion + summary::kDumpSrcSize);
    if (srcSize != 0 && d.size >= summaryfile::kLength && d.size - summaryfile::kLength < srcSize)
        problems.push_back("its flattened SRC of " + num(srcSize) + " bytes (dumpSrcSize) is cut to " +
                           num(d.size - summaryfile::kLength));
}

void checkHeaders(const Record& r, std::vector<std::string>& problems) {
    expectChars(problems, r, filehdr::kEyeCatcher, "fileEyeCatcher", "FILE    ");
    expectLength(problems, r, filehdr::kHeaderLength, "fileHeaderLength", filehdr::kLength);
    for (size_t i = 0; i < kSectionCount; ++i) {
        const size_t at = filehdr::kLength + i * sectionhdr::kLength;
        const std::string which = " of section header " + std::to_string(i);
        expectChars(problems, r, at + sectionhdr::kEyeCatcher, ("sectionEyeCatcher" + which).c_str(), "SECTION ");
        expectLength(problems, r, at + sectionhdr::kHeaderLength, ("sectionHeaderLength" + which).c_str(),
                     sectionhdr::kLength);
    }
    expectLength(problems, r, summaryfile::kSummaryRegion + summary::kSummaryLength, "summaryLength", kSummaryLength);
}

// False when the library cannot open the summary.
bool checkEyeCatcher(const CheckedDump& d, const Record& r, std::vector<std::string>& problems) {
    const size_t at = summaryfile::kSummaryRegion + summary::kEyeCatcher;
    const DumpKindInfo& expected = kindInfo(static_cast<DumpKind>(d.kind));
    if (d.opens) {
        if (!r.holds(at, expected.summaryEyeCatcher, kSummaryEyeCatcherLength))
            problems.push_back("summaryEyeCatcher is " + quoted(r, at, 8) + ", not the \"" +
                               expected.summaryEyeCatcher + "\" of its file name");
        return true;
    }
    problems.push_back("summaryEyeCatcher is " + quoted(r, at, 8) + ", none of SYS DUMP, HWU DUMP, RSC DUMP");
    return false;
}

void checkIdentifiers(const CheckedDump& d, const Record& r, std::vector<std::string>& problems) {
    const uint32_t recorded = r.u32(summaryfile::kSummaryRegion + summary::kDumpId);
    if (recorded != d.id)
        problems.push_back("summaryDumpId is " + hex(recorded, 8) + ", the file name's is " + hex(d.id, 8));
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08X", d.id);
    if (!r.holds(filehdr::kFileNameId, digits, filehdr::kFileNameIdWidth))
        problems.push_back("dumpFileName names dump " + quoted(r, filehdr::kFileNameId, filehdr::kFileNameIdWidth) +
                           ", not " + digits);
    if (d.fileNames().summaryFilePath != d.summaryPath)
        problems.push_back("summaryFileName records \"" + d.fileNames().summaryFileName + "\", not its own path");
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : "; ") + p;
    return text;
}

}  // namespace

void checkSummary(const CheckedDump& d, Report& report) {
    if (!d.read) return;  // noted as unreadable
    Image image(d);
    std::vector<std::string> problems;
    checkSize(d, *image, problems);
    const bool opens = checkEyeCatcher(d, *image, problems);
    checkHeaders(*image, problems);
    checkIdentifiers(d, *image, problems);
    if (problems.empty()) return;
    std::string detail = joined(problems);
    if (!opens)
        detail += ": the library cannot open this summary; it removes it, and its orphan sweep then every file the "
                  "dump names";
    report.add(kSummaryDamaged, d.id, d.summaryPath, detail);
}

}  // namespace check
}  // namespace platdump
