#include "summaryFile.h"

#include "record.h"

namespace decode {

namespace {

// The name in a 64-byte slot, up to its first NUL; "" for an empty slot.
std::string slotName(const Record& rec, size_t rel) {
    std::vector<uint8_t> bytes = rec.bytes(rel, filenames::kNameWidth);
    size_t length = 0;
    while (length < bytes.size() && bytes[length] != 0) ++length;
    return printable(bytes.data(), length);
}

void addFile(FileNamesRegion& region, const Record& rec, const std::string& field, size_t nameRel,
             std::optional<size_t> sizeRel) {
    std::string name = slotName(rec, nameRel);
    if (name.empty()) return;
    std::optional<uint32_t> size;
    if (sizeRel) size = rec.u32(*sizeRel);
    region.files.push_back(NamedFile{field, name, size});
}

FileNamesRegion decodeFileNames(const Record& rec) {
    using namespace filenames;
    FileNamesRegion region;
    for (size_t i = 0; i < kSlots; ++i) {
        const std::string index = "[" + std::to_string(i) + "]";
        addFile(region, rec, "hwTocFileName" + index, kHwTocName + i * kNameWidth, kHwTocSize + i * 4);
        addFile(region, rec, "hwDataFileName" + index, kHwDataName + i * kNameWidth, kHwDataSize + i * 4);
        addFile(region, rec, "spTocFileName" + index, kSpTocName + i * kNameWidth, kSpTocSize + i * 4);
        addFile(region, rec, "spDataFileName" + index, kSpDataName + i * kNameWidth, kSpDataSize + i * 4);
    }
    addFile(region, rec, "sysTocFileName", kSysTocName, kSysTocSize);
    addFile(region, rec, "sysDataFileName", kSysDataName, kSysDataSize);
    addFile(region, rec, "mdrtFileName", kMdrtName, kMdrtSize);
    addFile(region, rec, "mdstFileName", kMdstName, kMdstSize);
    addFile(region, rec, "resourceDumpFileName", kResourceName, std::nullopt);
    region.summaryFileName = slotName(rec, kSummaryName);
    region.tceErrorCount = rec.u32(kTceErrorCount);
    region.dmaErrorCount = rec.u32(kDmaErrorCount);
    region.privateFlags = rec.u32(kPrivateFlags);
    region.totalHdctItemCount = rec.u32(kTotalHdctItemCount);
    region.finishedHdctItemCount = rec.u32(kFinishedHdctItemCount);
    return region;
}

// The first two regions as they are offloaded: the first fileHeaderSize
// bytes of the header region, then the summary region.
std::vector<uint8_t> offloadedPrefix(const Record& regions) {
    uint16_t headerSize = regions.u16(summaryfile::kSummaryRegion + summary::kFileHeaderSize);
    size_t keep = headerSize == kShortHeaderSize ? kShortHeaderSize : kFullHeaderSize;
    std::vector<uint8_t> prefix = regions.bytes(0, keep);
    std::vector<uint8_t> body = regions.bytes(summaryfile::kSummaryRegion, summary::kLength);
    prefix.insert(prefix.end(), body.begin(), body.end());
    return prefix;
}

}  // namespace

SummaryFile decodeSummaryFile(const StreamSource& source) {
    SummaryFile f;
    f.size = source.size();
    Record regions;
    if (!regions.load(source, 0, summaryfile::kFileNamesRegion, "the header and summary regions", f.findings))
        return f;
    std::vector<uint8_t> prefix = offloadedPrefix(regions);
    MemorySource offloaded(prefix.data(), prefix.size());
    if (decodeFileHeader(offloaded, f.header, f.findings)) {
        SummarySection s;
        if (decodeSummary(offloaded, f.header.offloadedSize, s, f.findings)) f.summary = s;
    }
    Record names;
    if (names.load(source, summaryfile::kFileNamesRegion, summaryfile::kFileNamesRegionLength,
                   "the file-names region", f.findings))
        f.fileNames = decodeFileNames(names);
    if (f.size > summaryfile::kLength) f.flattenedSrcLength = f.size - summaryfile::kLength;
    f.findings.sortByOffset();
    return f;
}

}  // namespace decode
