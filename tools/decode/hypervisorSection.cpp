#include "hypervisorSection.h"

#include <algorithm>

#include "platform/bigEndian.h"
#include "record.h"

namespace decode {

namespace {

constexpr size_t kEntriesPerRead = 2048;

MdrtEntry decodeEntry(const uint8_t* p, uint64_t offset) {
    using namespace be;
    MdrtEntry e;
    e.offset = offset;
    e.field0 = getU64(p, mdrt::kField0);
    e.address = getU64(p, mdrt::kAddress);
    e.field16 = getU32(p, mdrt::kField16);
    e.length = getU32(p, mdrt::kLength);
    e.field24 = getU64(p, mdrt::kField24);
    return e;
}

}  // namespace

HypervisorSection decodeHypervisorSection(const StreamSource& source, uint64_t offset, uint64_t mdrtLength,
                                          Findings& findings) {
    const uint64_t size = source.size();
    HypervisorSection h;
    h.offset = offset;
    h.mdrtLength = mdrtLength;
    h.entryCount = mdrtLength / mdrt::kEntryLength;
    if (mdrtLength % mdrt::kEntryLength != 0)
        findings.notice(offset + h.entryCount * mdrt::kEntryLength,
                        "the MDRT of " + num(mdrtLength) + " bytes is no whole number of 32-byte entries: its last " +
                            std::to_string(mdrtLength % mdrt::kEntryLength) + " bytes are ignored");
    const bool whole = offset <= size && mdrtLength <= size - offset;
    if (!whole) {
        reportTruncated(findings, offset, mdrtLength, size, "the MDRT");
        h.cut = true;
    }
    const uint64_t room = offset <= size ? size - offset : 0;
    const uint64_t present = std::min(h.entryCount, room / mdrt::kEntryLength);

    CappedFindings report(findings, "the main-store regions of the MDRT at " + num(offset));
    uint64_t cursor = offset + mdrtLength;  // the regions follow the whole MDRT block
    for (uint64_t i = 0; i < present; i += kEntriesPerRead) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(kEntriesPerRead, present - i));
        Record chunk;
        if (!chunk.load(source, offset + i * mdrt::kEntryLength, count * mdrt::kEntryLength, "the MDRT", findings))
            break;
        std::vector<uint8_t> bytes = chunk.bytes(0, chunk.size());
        for (size_t j = 0; j < count; ++j) {
            MdrtEntry e = decodeEntry(bytes.data() + j * mdrt::kEntryLength, chunk.at(j * mdrt::kEntryLength));
            h.regionBytes += e.length;
            bool listed = h.entries.size() < HypervisorSection::kMaxListed;
            if (listed) h.entries.push_back(e);
            if (!whole) continue;
            MainStoreRegion r{cursor, e.address, e.length, 0};
            r.present = cursor < size ? std::min<uint64_t>(e.length, size - cursor) : 0;
            if (r.present < r.length) {
                report.error(cursor, "main-store region " + std::to_string(i + j) + " (MDRT entry at " + num(e.offset) +
                                         ": " + num(e.length) + " bytes at address " + hex(e.address, 16) +
                                         ") runs past the end of the stream at " + num(size) + ": " +
                                         num(r.present) + " bytes present");
                h.cut = true;
            }
            if (listed) h.regions.push_back(r);
            cursor += e.length;
        }
    }
    if (whole && cursor < size)
        findings.error(cursor, num(size - cursor) + " bytes follow the last main-store region, which ends at " +
                                   num(cursor));
    h.length = std::min(cursor, size) - offset;
    return h;
}

}  // namespace decode
