#include "hardwareSection.h"

#include <algorithm>
#include <cstdint>

#include "record.h"

namespace decode {

namespace {

// Files each node group in order: a HWDATA section opens a group, an
// SPDATA section closes it.
void place(HardwareSection& hw, NodalFile&& file, Findings& findings) {
    if (file.kind == NodalKind::System) {
        hw.system = std::move(file);
        return;
    }
    if (file.kind == NodalKind::Hardware) {
        hw.groups.push_back(NodeGroup{std::move(file), std::nullopt});
        return;
    }
    if (hw.groups.empty() || hw.groups.back().serviceProcessor) {
        findings.error(file.tocOffset, "SPDATA TOC at " + num(file.tocOffset) +
                                           " does not follow a HWDATA section: its node group has no hardware data");
        hw.groups.push_back(NodeGroup{std::nullopt, std::move(file)});
        return;
    }
    hw.groups.back().serviceProcessor = std::move(file);
}

void noteGroupsWithoutSpData(const HardwareSection& hw, Findings& findings) {
    for (size_t i = 0; i < hw.groups.size(); ++i)
        if (!hw.groups[i].serviceProcessor && hw.groups[i].hardware && hw.groups[i].hardware->complete)
            findings.notice(hw.groups[i].hardware->end(),
                            "node group " + std::to_string(i) + " has no SPDATA section (its TOC file was empty)");
}

}  // namespace

uint64_t HardwareSection::dataFileBytes() const {
    uint64_t sum = system ? system->dataLength : 0;
    for (const NodeGroup& g : groups) {
        if (g.hardware) sum += g.hardware->dataLength;
        if (g.serviceProcessor) sum += g.serviceProcessor->dataLength;
    }
    return sum;
}

HardwareSection decodeHardwareSection(const StreamSource& source, uint64_t offset, const SectionHeader& declared,
                                      Findings& findings) {
    const uint64_t size = source.size();
    // A size beyond any stream saturates instead of wrapping around.
    const uint64_t declaredEnd =
        declared.sectionSize > UINT64_MAX - offset ? UINT64_MAX : offset + declared.sectionSize;
    HardwareSection hw;
    hw.offset = offset;
    hw.declaredSize = declared.sectionSize;
    auto plausibleEnd = [&](uint64_t p) {
        NodalKind next;
        return p == size || p == declaredEnd || nodalKindAt(source, p, next);
    };

    uint64_t pos = offset;
    NodalKind kind;
    bool unrecognised = false;
    while (pos < size && !hw.system) {
        if (!nodalKindAt(source, pos, kind)) {
            unrecognised = pos < declaredEnd;
            break;
        }
        NodalFile file = decodeNodalFile(source, pos, kind, plausibleEnd, findings);
        bool complete = file.complete;
        pos = std::min(file.end(), size);
        place(hw, std::move(file), findings);
        if (!complete) {
            hw.cut = true;
            break;
        }
    }
    noteGroupsWithoutSpData(hw, findings);

    if (unrecognised) {
        findings.error(pos, "the bytes at " + num(pos) + " are no nodal TOC header (HWDATA, SPDATA or SYSDATA), " +
                                "inside the hardware data section that ends at " + num(declaredEnd));
        pos = std::min(declaredEnd, size);  // skipped by the declared size
    } else if (!hw.cut && pos == size && declaredEnd > size) {
        reportTruncated(findings, offset, declared.sectionSize, size, "the hardware data section");
        hw.cut = true;
    } else if (!hw.cut && pos != declaredEnd) {
        findings.error(declared.offset + sectionhdr::kSize,
                       "sectionSize of the hardware data section is " + num(declared.sectionSize) +
                           ", its nodal files take " + num(pos - offset) + " bytes (to " + num(pos) + ")");
    }
    hw.length = pos - offset;
    return hw;
}

}  // namespace decode
