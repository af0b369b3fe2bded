// One nodal section as it lies in the stream: its TOC file (a 48-byte
// header and fixed-size entries) followed by its data file (the items back
// to back, then 0-15 pad bytes). The stream marks no boundary between the
// files: the TOC length comes from entryCount, the data file's from
// dataFileSize, and totalSize must agree with both.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "findings.h"
#include "streamSource.h"

namespace decode {

namespace toc {
constexpr size_t kHeaderLength = 48;
constexpr size_t kSectionName = 0, kSectionNameWidth = 8;  // "HWDATA", NUL-padded
constexpr size_t kHeaderSize = 8;                           // u16, 48
constexpr size_t kVersion = 10;                             // u16, 2
constexpr size_t kContentCode = 12;                         // u32
constexpr size_t kTotalSize = 16;                           // u32
constexpr size_t kLayoutCode = 20;                          // u16, 0x0210
constexpr size_t kSectionIndex = 22;                        // u16
constexpr size_t kDataFileSize = 24;                        // u32
constexpr size_t kEntryCount = 28;                          // u32
constexpr size_t kEntrySize = 32;                           // u16
constexpr uint16_t kExpectedVersion = 2;
constexpr uint16_t kExpectedLayoutCode = 0x0210;
constexpr uint64_t kAlignment = 16;  // TOC + data file, after padding
}  // namespace toc

namespace hwentry {
constexpr size_t kLength = 28;
constexpr size_t kWord0 = 0, kWord1 = 4, kWord2 = 8, kWord3 = 12;
constexpr size_t kDataOffset = 16;
constexpr size_t kWord4 = 20;
constexpr size_t kDataSize = 24;
constexpr unsigned kSpareBitsShift = 20;
constexpr uint32_t kSpareBitsMask = 0x7;
}  // namespace hwentry

namespace spentry {
constexpr size_t kLength = 12;
constexpr size_t kEntryId = 0;
constexpr size_t kDataOffset = 4;
constexpr size_t kDataSize = 8;
}  // namespace spentry

enum class NodalKind { Hardware = 1, ServiceProcessor = 2, System = 3 };
const char* nodalKindName(NodalKind kind);  // "HWDATA", "SPDATA", "SYSDATA"

struct TocHeader {
    std::string sectionName;
    uint16_t headerSize = 0;
    uint16_t version = 0;
    uint32_t contentCode = 0;
    uint32_t totalSize = 0;
    uint16_t layoutCode = 0;
    uint16_t sectionIndex = 0;
    uint32_t dataFileSize = 0;
    uint32_t entryCount = 0;
    uint16_t entrySize = 0;
};

struct TocEntry {
    uint64_t offset = 0;    // of the entry in the stream
    uint32_t entryId = 0;   // SPDATA and SYSDATA
    uint32_t hwWord[5] = {};  // HWDATA: hwWord0 to hwWord4, as stored
    unsigned spareBits = 0;   // HWDATA: bits of the last byte without data
    uint32_t dataOffset = 0;  // in the data file
    uint32_t dataSize = 0;
};

struct NodalFile {
    NodalKind kind = NodalKind::Hardware;
    TocHeader header;
    uint64_t tocOffset = 0;   // stream offset of the TOC file
    uint64_t tocLength = 0;   // 48 + entry size x entryCount
    uint64_t dataOffset = 0;  // stream offset of the data file
    uint64_t dataLength = 0;  // the boundary taken (dataFileSize unless it disagrees)
    uint64_t itemsLength = 0; // where the last item ends in the data file
    uint64_t padLength = 0;   // data bytes after the last item
    uint64_t entriesPresent = 0;    // entries wholly inside the stream
    std::vector<TocEntry> entries;  // the first kMaxListedEntries of them
    bool complete = false;          // both files wholly inside the stream

    uint64_t end() const { return dataOffset + dataLength; }
    static constexpr size_t kMaxListedEntries = 65536;
};

// The kind of the TOC header whose sectionName stands at offset; false
// when the 8 bytes there are not one of the three names.
bool nodalKindAt(const StreamSource& source, uint64_t offset, NodalKind& kind);

// Decodes the pair whose TOC starts at offset. plausibleEnd tells whether
// a nodal file can end at a given stream offset (the next TOC or the end of
// the section starts there); it decides between dataFileSize and totalSize
// when they disagree.
NodalFile decodeNodalFile(const StreamSource& source, uint64_t offset, NodalKind kind,
                          const std::function<bool(uint64_t)>& plausibleEnd, Findings& findings);

}  // namespace decode
