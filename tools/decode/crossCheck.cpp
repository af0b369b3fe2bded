// The checks that relate the decoded parts to each other: the summary
// against the file header, and the summary's derived sizes against the
// section headers and the sections found in the stream.
#include <cstdio>

#include "streamDecoder.h"

namespace decode {

namespace {

void expectEqual(Findings& findings, uint64_t offset, const std::string& what, uint64_t actual,
                 const std::string& reference, uint64_t expected) {
    if (actual == expected) return;
    findings.error(offset, what + " is " + num(actual) + ", but " + reference + " gives " + num(expected));
}

void checkAgainstHeader(DecodedStream& d) {
    const FileHeader& h = d.header;
    const SummarySection& s = *d.summary;
    if (s.kind != DumpKind::Unknown && h.kind != DumpKind::Unknown && s.kind != h.kind)
        d.findings.error(s.at(summary::kEyeCatcher), "summaryEyeCatcher \"" + s.summaryEyeCatcher +
                                                         "\" disagrees with dumpTypeCode " +
                                                         std::to_string(h.dumpTypeCode));
    expectEqual(d.findings, s.at(summary::kFileHeaderSize), "fileHeaderSize", s.fileHeaderSize,
                "the offloaded header", h.offloadedSize);
    char id[16];
    std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(s.summaryDumpId));
    if (h.fileNameId != id)
        d.findings.error(filehdr::kFileNameId, "dumpFileName names dump \"" + h.fileNameId +
                                                   "\", the summary's summaryDumpId is " + id);
}

void checkDerivedSizes(DecodedStream& d) {
    const SummarySection& s = *d.summary;
    uint64_t recomputed = uint64_t(uint32_t(s.hwDumpTotalSize + s.mdrtTableSize)) + s.memoryDumpSize;
    expectEqual(d.findings, s.at(summary::kTotalDumpSize), "totalDumpSize", s.totalDumpSize,
                "hwDumpTotalSize + mdrtTableSize + memoryDumpSize", recomputed);
    if (const SectionHeader* hyp = d.header.section(kHypervisorSection))
        expectEqual(d.findings, hyp->offset + sectionhdr::kSize, "sectionSize of the hypervisor data section",
                    hyp->sectionSize, "memoryDumpSize + mdrtTableSize", s.memoryDumpSize + s.mdrtTableSize);

    const HardwareSection& hw = *d.hardware;
    if (hw.cut) return;  // the sizes of what is missing are unknown
    expectEqual(d.findings, s.at(summary::kHwDumpTotalSize), "hwDumpTotalSize", s.hwDumpTotalSize,
                "1024 + the hardware data found", summary::kLength + hw.length);
    expectEqual(d.findings, s.at(summary::kNodalDataSize), "nodalDataSize", s.nodalDataSize,
                "the nodal data files found", hw.dataFileBytes());
    if (s.hardwareNodeCount != hw.groups.size())
        d.findings.notice(s.at(summary::kHardwareNodeCount),
                          "hardwareNodeCount is " + std::to_string(s.hardwareNodeCount) + ", the stream holds " +
                              std::to_string(hw.groups.size()) + " node groups");
}

void checkMainStore(DecodedStream& d) {
    if (!d.hypervisor || d.hypervisor->mdrtLength > d.size - d.hypervisor->offset) return;
    const SummarySection& s = *d.summary;
    expectEqual(d.findings, s.at(summary::kMemoryDumpSize), "memoryDumpSize", s.memoryDumpSize,
                "the lengths in the MDRT", d.hypervisor->regionBytes);
}

}  // namespace

void crossCheck(DecodedStream& d) {
    if (!d.summary || !d.hardware) return;
    checkAgainstHeader(d);
    checkDerivedSizes(d);
    checkMainStore(d);
}

}  // namespace decode
