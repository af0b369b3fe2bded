#include "summaryFile.h"

#include "record.h"

namespace decode {

namespace {

// The bytes of a 64-byte slot up to its first NUL; "" for an empty slot.
std::string slotPath(const Record& rec, size_t rel) {
    std::vector<uint8_t> bytes = rec.bytes(rel, filenames::kNameWidth);
    size_t length = 0;
    while (length < bytes.size() && bytes[length] != 0) ++length;
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string readable(const std::string& path) {
    return printable(reinterpret_cast<const uint8_t*>(path.data()), path.size());
}

void addFile(FileNamesRegion& region, const Record& rec, const std::string& field, FileRole role, size_t index,
             size_t nameRel, std::optional<size_t> sizeRel) {
    std::string path = slotPath(rec, nameRel);
    if (path.empty()) return;
    std::optional<uint32_t> size;
    if (sizeRel) size = rec.u32(*sizeRel);
    region.files.push_back(NamedFile{field, readable(path), path, role, index, size});
}

FileNamesRegion decodeFileNames(const Record& rec) {
    using namespace filenames;
    FileNamesRegion region;
    for (size_t i = 0; i < kSlots; ++i) {
        const std::string index = "[" + std::to_string(i) + "]";
        addFile(region, rec, "hwTocFileName" + index, FileRole::HwToc, i, kHwTocName + i * kNameWidth,
                kHwTocSize + i * 4);
        addFile(region, rec, "hwDataFileName" + index, FileRole::HwData, i, kHwDataName + i * kNameWidth,
                kHwDataSize + i * 4);
        addFile(region, rec, "spTocFileName" + index, FileRole::SpToc, i, kSpTocName + i * kNameWidth,
                kSpTocSize + i * 4);
        addFile(region, rec, "spDataFileName" + index, FileRole::SpData, i, kSpDataName + i * kNameWidth,
                kSpDataSize + i * 4);
    }
    addFile(region, rec, "sysTocFileName", FileRole::SysToc, 0, kSysTocName, kSysTocSize);
    addFile(region, rec, "sysDataFileName", FileRole::SysData, 0, kSysDataName, kSysDataSize);
    addFile(region, rec, "mdrtFileName", FileRole::Mdrt, 0, kMdrtName, kMdrtSize);
    addFile(region, rec, "mdstFileName", FileRole::Mdst, 0, kMdstName, kMdstSize);
    addFile(region, rec, "resourceDumpFileName", FileRole::Resource, 0, kResourceName, std::nullopt);
    region.summaryFilePath = slotPath(rec, kSummaryName);
    region.summaryFileName = readable(region.summaryFilePath);
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
