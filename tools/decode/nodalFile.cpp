#include "nodalFile.h"

#include <algorithm>

#include "platform/bigEndian.h"
#include "record.h"

namespace decode {

namespace {

struct KindInfo {
    NodalKind kind;
    const char name[toc::kSectionNameWidth + 1];  // NUL-padded as in the TOC
    uint16_t entrySize;
};
const KindInfo kKinds[] = {
    {NodalKind::Hardware, "HWDATA", hwentry::kLength},
    {NodalKind::ServiceProcessor, "SPDATA", spentry::kLength},
    {NodalKind::System, "SYSDATA", spentry::kLength},
};
constexpr uint32_t kSystemContentCode = 1;
constexpr uint32_t kServiceProcessorContentCode = 0;
constexpr uint32_t kHardwareContentCodes[] = {0, 2};
constexpr size_t kEntriesPerRead = 4096;

const KindInfo& info(NodalKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

std::string label(const NodalFile& f) {
    return std::string(nodalKindName(f.kind)) + " TOC at " + num(f.tocOffset);
}

void decodeHeader(const Record& rec, NodalFile& f, Findings& findings) {
    using namespace toc;
    TocHeader& h = f.header;
    h.sectionName = rec.text(kSectionName, kSectionNameWidth);
    h.headerSize = rec.u16(kHeaderSize);
    h.version = rec.u16(kVersion);
    h.contentCode = rec.u32(kContentCode);
    h.totalSize = rec.u32(kTotalSize);
    h.layoutCode = rec.u16(kLayoutCode);
    h.sectionIndex = rec.u16(kSectionIndex);
    h.dataFileSize = rec.u32(kDataFileSize);
    h.entryCount = rec.u32(kEntryCount);
    h.entrySize = rec.u16(kEntrySize);

    const KindInfo& k = info(f.kind);
    std::string name = std::string(k.name) + " ";
    expectValue(findings, rec, kHeaderSize, name + "headerSize", h.headerSize, kHeaderLength);
    expectValue(findings, rec, kVersion, name + "version", h.version, kExpectedVersion);
    expectValue(findings, rec, kLayoutCode, name + "layoutCode", h.layoutCode, kExpectedLayoutCode);
    expectValue(findings, rec, kEntrySize, name + "entrySize", h.entrySize, k.entrySize);
    if (f.kind == NodalKind::System)
        expectValue(findings, rec, kContentCode, name + "contentCode", h.contentCode, kSystemContentCode);
    else if (f.kind == NodalKind::ServiceProcessor)
        expectValue(findings, rec, kContentCode, name + "contentCode", h.contentCode, kServiceProcessorContentCode);
    else if (std::find(std::begin(kHardwareContentCodes), std::end(kHardwareContentCodes), h.contentCode) ==
             std::end(kHardwareContentCodes))
        findings.error(rec.at(kContentCode), name + "contentCode is " + num(h.contentCode) + ", expected 0 or 2");
}

// Where the data file ends. The entry count and dataFileSize give one end,
// totalSize another; when they differ the one at which the next file (or
// the section) plausibly begins is taken, dataFileSize's by default.
uint64_t chooseEnd(const Record& rec, const NodalFile& f, const std::function<bool(uint64_t)>& plausibleEnd,
                   Findings& findings) {
    uint64_t bySizes = f.dataOffset + f.header.dataFileSize;
    uint64_t byTotal = f.tocOffset + f.header.totalSize;
    if (bySizes == byTotal) return bySizes;
    bool totalUsable = f.header.totalSize >= f.tocLength;
    bool useTotal = totalUsable && !plausibleEnd(bySizes) && plausibleEnd(byTotal);
    uint64_t end = useTotal ? byTotal : bySizes;
    findings.error(rec.at(toc::kTotalSize),
                   label(f) + ": totalSize " + num(f.header.totalSize) + " disagrees with 48 + entrySize x entryCount " +
                       "+ dataFileSize = " + num(f.tocLength + f.header.dataFileSize) + "; the data file is taken to end at " +
                       num(end) + " (by " + (useTotal ? "totalSize" : "dataFileSize") + ")");
    return end;
}

TocEntry decodeEntry(const uint8_t* p, uint64_t offset, NodalKind kind) {
    using be::getU32;
    TocEntry e;
    e.offset = offset;
    if (kind != NodalKind::Hardware) {
        e.entryId = getU32(p, spentry::kEntryId);
        e.dataOffset = getU32(p, spentry::kDataOffset);
        e.dataSize = getU32(p, spentry::kDataSize);
        return e;
    }
    const size_t words[] = {hwentry::kWord0, hwentry::kWord1, hwentry::kWord2, hwentry::kWord3, hwentry::kWord4};
    for (size_t i = 0; i < 5; ++i) e.hwWord[i] = getU32(p, words[i]);
    e.spareBits = (e.hwWord[4] >> hwentry::kSpareBitsShift) & hwentry::kSpareBitsMask;
    e.dataOffset = getU32(p, hwentry::kDataOffset);
    e.dataSize = getU32(p, hwentry::kDataSize);
    return e;
}

// Reads the entries present, checks that each item lies inside the data
// file right after the previous one, and lists the first of them.
void decodeEntries(const StreamSource& source, NodalFile& f, Findings& findings) {
    const uint64_t entrySize = info(f.kind).entrySize;
    const uint64_t first = f.tocOffset + toc::kHeaderLength;
    uint64_t room = source.size() > first ? source.size() - first : 0;
    f.entriesPresent = std::min<uint64_t>(f.header.entryCount, room / entrySize);
    CappedFindings report(findings, "the entries of the " + label(f));
    uint64_t previousEnd = 0;
    for (uint64_t i = 0; i < f.entriesPresent; i += kEntriesPerRead) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(kEntriesPerRead, f.entriesPresent - i));
        Record chunk;
        if (!chunk.load(source, first + i * entrySize, count * entrySize, "the entries of the " + label(f), findings))
            return;
        std::vector<uint8_t> bytes = chunk.bytes(0, chunk.size());
        for (size_t j = 0; j < count; ++j) {
            TocEntry e = decodeEntry(bytes.data() + j * entrySize, chunk.at(j * entrySize), f.kind);
            uint64_t end = uint64_t(e.dataOffset) + e.dataSize;
            auto name = [&] { return "entry " + std::to_string(i + j) + " of the " + label(f); };
            if (end > f.dataLength)
                report.error(e.offset, name() + ": item of " + num(e.dataSize) + " bytes at data offset " + num(e.dataOffset) +
                                           " ends at " + num(end) + ", past its data file of " + num(f.dataLength) + " bytes");
            else if (e.dataOffset != previousEnd)
                report.error(e.offset, name() + ": item starts at data offset " + num(e.dataOffset) +
                                           ", the previous item ends at " + num(previousEnd));
            previousEnd = end;
            if (f.entries.size() < NodalFile::kMaxListedEntries) f.entries.push_back(e);
        }
    }
    f.itemsLength = previousEnd;
    if (f.header.entryCount > f.entries.size() && f.entriesPresent > f.entries.size())
        findings.notice(f.tocOffset, label(f) + ": only the first " + std::to_string(f.entries.size()) + " of " +
                                         std::to_string(f.header.entryCount) + " entries are listed");
}

// The bytes after the last item: 0 to 15 zero bytes that bring the TOC and
// the data file together to a multiple of 16.
void checkPadding(const StreamSource& source, NodalFile& f, Findings& findings) {
    if (f.itemsLength > f.dataLength) return;  // reported with the entry
    f.padLength = f.dataLength - f.itemsLength;
    uint64_t padAt = f.dataOffset + f.itemsLength;
    if (f.padLength >= toc::kAlignment) {
        findings.error(padAt, label(f) + ": " + num(f.padLength) + " bytes follow the last item in the data file; " +
                                  "padding is at most 15");
        return;
    }
    if ((f.tocLength + f.dataLength) % toc::kAlignment != 0)
        findings.notice(f.tocOffset, label(f) + ": TOC and data file take " + num(f.tocLength + f.dataLength) +
                                         " bytes, not a multiple of 16: the section was not finalised");
    uint8_t pad[toc::kAlignment];
    if (f.padLength == 0 || !source.read(padAt, static_cast<size_t>(f.padLength), pad)) return;
    for (uint64_t i = 0; i < f.padLength; ++i)
        if (pad[i] != 0) {
            findings.notice(padAt + i, label(f) + ": pad byte is " + hex(pad[i], 2) + ", not 0");
            return;
        }
}

}  // namespace

const char* nodalKindName(NodalKind kind) { return info(kind).name; }

bool nodalKindAt(const StreamSource& source, uint64_t offset, NodalKind& kind) {
    uint8_t name[toc::kSectionNameWidth];
    if (offset > source.size() || source.size() - offset < sizeof name || !source.read(offset, sizeof name, name))
        return false;
    for (const KindInfo& k : kKinds)
        if (std::equal(name, name + sizeof name, k.name)) {
            kind = k.kind;
            return true;
        }
    return false;
}

NodalFile decodeNodalFile(const StreamSource& source, uint64_t offset, NodalKind kind,
                          const std::function<bool(uint64_t)>& plausibleEnd, Findings& findings) {
    NodalFile f;
    f.kind = kind;
    f.tocOffset = offset;
    Record rec;
    if (!rec.load(source, offset, toc::kHeaderLength, "the " + label(f) + " header", findings)) {
        f.tocLength = f.dataOffset = source.size();
        return f;
    }
    decodeHeader(rec, f, findings);
    f.tocLength = toc::kHeaderLength + uint64_t(info(kind).entrySize) * f.header.entryCount;
    f.dataOffset = offset + f.tocLength;
    f.dataLength = chooseEnd(rec, f, plausibleEnd, findings) - f.dataOffset;

    decodeEntries(source, f, findings);
    if (f.entriesPresent < f.header.entryCount) {
        reportTruncated(findings, offset, f.tocLength, source.size(), "the " + label(f));
        return f;
    }
    if (f.end() > source.size()) {
        reportTruncated(findings, f.dataOffset, f.dataLength, source.size(),
                        "the data file of the " + label(f));
        return f;
    }
    f.complete = true;
    checkPadding(source, f, findings);
    return f;
}

}  // namespace decode
