#include "fileHeader.h"

#include "record.h"

namespace decode {

namespace {

struct SectionExpectation {
    const char* name;
    uint16_t priority;  // 0: any (the hypervisor priority is set by the collector)
};
const SectionExpectation kSections[] = {{"DUMP SUMMARY", 1}, {"HARDWARE DATA", 2}, {"HYPERVISOR DATA", 0}};
constexpr uint64_t kSummarySectionSize = 1024;

// The kind whose summary eye-catcher stands at offset, if any.
const DumpKindInfo* summaryAt(const StreamSource& source, uint64_t offset) {
    uint8_t eye[kSummaryEyeCatcherLength];
    if (offset + sizeof eye > source.size() || !source.read(offset, sizeof eye, eye)) return nullptr;
    return kindByEyeCatcher(eye);
}

// Where the summary starts: the header size of the kind, unless the
// summary is found only at the other possible place.
uint64_t locateSummary(const StreamSource& source, const Record& rec, const DumpKindInfo& kind,
                       Findings& findings) {
    uint64_t expected = kind.offloadedHeaderSize;
    uint64_t other = expected == kFullHeaderSize ? kShortHeaderSize : kFullHeaderSize;
    if (summaryAt(source, expected) || !summaryAt(source, other)) return expected;
    if (kind.kind != DumpKind::Unknown)
        findings.error(rec.at(filehdr::kTypeCode),
                       "dumpTypeCode " + std::to_string(rec.u16(filehdr::kTypeCode)) + " (" + kind.name +
                           ") gives a " + std::to_string(expected) + "-byte header, but the summary starts at " +
                           std::to_string(other));
    return other;
}

SectionHeader decodeSection(const Record& rec, size_t index, const FileHeader& header, Findings& findings) {
    using namespace sectionhdr;
    SectionHeader s;
    s.offset = rec.offset();
    s.sectionEyeCatcher = rec.text(kEyeCatcher, kEyeCatcherWidth);
    s.sectionHeaderLength = rec.u16(kHeaderLength);
    s.sectionPriority = rec.u16(kPriority);
    s.lastSectionFlag = rec.u32(kLastSection);
    s.sectionVersion = rec.u16(kVersion);
    s.sectionSize = rec.u64(kSize);
    s.sectionName = rec.text(kName, kNameWidth);

    const SectionExpectation& want = kSections[index];
    expectChars(findings, rec, kEyeCatcher, "sectionEyeCatcher", "SECTION ", kEyeCatcherWidth);
    expectValue(findings, rec, kHeaderLength, "sectionHeaderLength", s.sectionHeaderLength, kLength);
    if (want.priority != 0) expectValue(findings, rec, kPriority, "sectionPriority", s.sectionPriority, want.priority);
    uint32_t last = index == kHypervisorSection ? 1
                    : index == kHardwareSection ? (header.offloadedSize == kShortHeaderSize ? 1 : 0)
                                                : 0;
    expectValue(findings, rec, kLastSection, "lastSectionFlag", s.lastSectionFlag, last);
    expectValue(findings, rec, kVersion, "sectionVersion", s.sectionVersion, kExpectedVersion);
    if (s.sectionName != want.name)
        findings.error(rec.at(kName), "sectionName is \"" + s.sectionName + "\", expected \"" + want.name + "\"");
    if (index == kSummarySection) expectValue(findings, rec, kSize, "sectionSize", s.sectionSize, kSummarySectionSize);
    if (index == kHardwareSection && (s.sectionSize >> 32) != 0)
        findings.error(rec.at(kSize), "sectionSize " + num(s.sectionSize) + " of the hardware section exceeds 32 bits");
    return s;
}

}  // namespace

bool decodeFileHeader(const StreamSource& source, FileHeader& header, Findings& findings) {
    using namespace filehdr;
    Record rec;
    if (!rec.load(source, 0, kLength, "the file header", findings)) return false;
    header.present = true;
    header.fileEyeCatcher = rec.text(kEyeCatcher, kEyeCatcherWidth);
    header.fileHeaderLength = rec.u16(kHeaderLength);
    header.fileHeaderVersion = rec.u16(kVersion);
    header.dumpTypeCode = rec.u16(kTypeCode);
    header.dumpFileName = rec.text(kFileName, kFileNameWidth);
    header.fileNameId = rec.text(kFileNameId, kFileNameIdWidth);

    expectChars(findings, rec, kEyeCatcher, "fileEyeCatcher", "FILE    ", kEyeCatcherWidth);
    expectValue(findings, rec, kHeaderLength, "fileHeaderLength", header.fileHeaderLength, kLength);
    expectValue(findings, rec, kVersion, "fileHeaderVersion", header.fileHeaderVersion, kExpectedVersion);
    const DumpKindInfo* kind = kindByTypeCode(header.dumpTypeCode);
    if (!kind) findings.error(rec.at(kTypeCode), "dumpTypeCode " + std::to_string(header.dumpTypeCode) +
                                                      " is none of 15 (SYS), 17 (HWU), 0 (RSC)");
    const DumpKindInfo& k = kind ? *kind : kindInfo(DumpKind::Unknown);
    header.kind = k.kind;
    if (kind) expectChars(findings, rec, kFileName, "dumpFileName prefix", k.fileNamePrefix, kFileNamePrefixLength);
    if (rec.u8(kFileName + kFileNameWidth - 1) != 0)
        findings.notice(rec.at(kFileName + kFileNameWidth - 1), "dumpFileName is not NUL-terminated");
    header.offloadedSize = locateSummary(source, rec, k, findings);

    size_t count = header.offloadedSize == kShortHeaderSize ? 2 : 3;
    for (size_t i = 0; i < count; ++i) {
        Record srec;
        if (!srec.load(source, kLength + i * sectionhdr::kLength, sectionhdr::kLength,
                       "section header " + std::to_string(i), findings))
            return false;
        header.sections.push_back(decodeSection(srec, i, header, findings));
    }
    return true;
}

}  // namespace decode
