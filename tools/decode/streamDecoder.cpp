#include "streamDecoder.h"

namespace decode {

namespace {

// What follows the hardware data section: nothing when the dump was
// offloaded without main store (or is a hardware-unit dump), else the
// hypervisor data section, read by the summary's mdrtTableSize.
void decodeRest(const StreamSource& source, DecodedStream& d) {
    const SummarySection& s = *d.summary;
    const uint64_t at = d.hardware->end();
    const uint64_t rest = d.size - at;
    const SectionHeader* hyp = d.header.section(kHypervisorSection);
    if (rest == 0) {
        if (hyp && hyp->sectionSize > 0)
            d.findings.notice(at, "the stream ends after the hardware data section: the " + num(hyp->sectionSize) +
                                      " bytes of hypervisor data its header declares were not offloaded " +
                                      "(an offload without main store)");
        return;
    }
    if (!hyp) {
        d.findings.error(at, num(rest) + " bytes follow the hardware data section, the last section of a " +
                                 std::to_string(kShortHeaderSize) + "-byte header");
        return;
    }
    if (!(s.dumpFlags & kMainstoreDumpExistsFlag))
        d.findings.error(at, num(rest) + " bytes of hypervisor data follow, but dumpFlags lacks mainstoreDumpExistsFlag");
    if (s.mdrtTableSize == 0) {
        d.findings.error(s.at(summary::kMdrtTableSize),
                         "mdrtTableSize is 0, but " + num(rest) + " bytes follow the hardware data section at " + num(at));
        return;
    }
    d.hypervisor = decodeHypervisorSection(source, at, s.mdrtTableSize, d.findings);
}

}  // namespace

DecodedStream decodeStream(const StreamSource& source) {
    DecodedStream d;
    d.size = source.size();
    if (decodeFileHeader(source, d.header, d.findings)) {
        SummarySection s;
        if (decodeSummary(source, d.header.offloadedSize, s, d.findings)) {
            d.summary = s;
            d.hardware = decodeHardwareSection(source, s.offset + summary::kLength,
                                               *d.header.section(kHardwareSection), d.findings);
            if (!d.hardware->cut) decodeRest(source, d);
            crossCheck(d);
        }
    }
    d.findings.sortByOffset();
    return d;
}

}  // namespace decode
