// Byte layout of a nodal section's TOC file: the 48-byte header (TocHeader,
// encoded and decoded through be::) and the two kinds of entry, all
// big-endian. What each section kind decides (name, entry size, where an
// entry keeps its data offset and size) is in SectionKind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platdump/dumpNodalSection.h"

namespace dump {
namespace nodal {

constexpr uint32_t TOC_HEADER_SIZE = 48;
constexpr uint16_t TOC_HEADER_VERSION = 2;
constexpr uint16_t TOC_LAYOUT_CODE = 0x0210;
// Data + TOC length of a finalised section is a multiple of this.
constexpr uint32_t SECTION_ALIGNMENT = 16;

// TOC header fields.
namespace hdr {
constexpr size_t SECTION_NAME = 0;  // 8 chars, NUL-padded
constexpr size_t SECTION_NAME_WIDTH = 8;
constexpr size_t HEADER_SIZE = 8;       // u16
constexpr size_t VERSION = 10;          // u16
constexpr size_t CONTENT_CODE = 12;     // u32
constexpr size_t TOTAL_SIZE = 16;       // u32
constexpr size_t LAYOUT_CODE = 20;      // u16
constexpr size_t SECTION_INDEX = 22;    // u16
constexpr size_t DATA_FILE_SIZE = 24;   // u32
constexpr size_t ENTRY_COUNT = 28;      // u32
constexpr size_t ENTRY_SIZE = 32;       // u16; bytes 34-47 reserved, zero
}  // namespace hdr

// Service-processor and system entries (12 bytes).
namespace sp {
constexpr uint32_t SIZE = 12;
constexpr size_t ENTRY_ID = 0;
constexpr size_t DATA_OFFSET = 4;
constexpr size_t DATA_SIZE = 8;
}  // namespace sp

// Hardware entries (28 bytes).
namespace hw {
constexpr uint32_t SIZE = 28;
constexpr size_t WORD0 = 0;
constexpr size_t WORD1 = 4;
constexpr size_t WORD2 = 8;
constexpr size_t WORD3 = 12;
constexpr size_t DATA_OFFSET = 16;
constexpr size_t WORD4 = 20;
constexpr size_t DATA_SIZE = 24;
// Bits of hwWord4 that hold the unused bits of the item's last byte.
constexpr uint32_t SPARE_BITS_SHIFT = 20;
constexpr uint32_t SPARE_BITS_MASK = 0x00700000;
constexpr uint32_t MAX_SPARE_BITS = 7;
}  // namespace hw

// The 48-byte TOC header as values.
class TocHeader {
public:
    char sectionName[hdr::SECTION_NAME_WIDTH] = {};
    uint16_t headerSize = 0;
    uint16_t version = 0;
    uint32_t contentCode = 0;
    uint32_t totalSize = 0;
    uint16_t layoutCode = 0;
    uint16_t sectionIndex = 0;
    uint32_t dataFileSize = 0;
    uint32_t entryCount = 0;
    uint16_t entrySize = 0;

    // Writes all 48 bytes (reserved bytes zero).
    void encode(uint8_t* image) const;
    // False, and nothing read, when length is below 48.
    bool decode(const uint8_t* image, size_t length);
};

// What a section kind decides.
struct SectionKind {
    const char* name;
    uint16_t entrySize;
    size_t dataOffsetAt;  // offsets within an entry
    size_t dataSizeAt;
};
// The kind's facts; null for a type outside 1 to 3.
const SectionKind* sectionKind(int type);

// Entries as they stand in the TOC file.
void encodeEntry(const DumpSpTocEntry& entry, uint8_t* image);  // 12 bytes
void encodeEntry(const DumpHwTocEntry& entry, uint8_t* image);  // 28 bytes

// Where an entry's data ends (data offset + data size), read from its
// TOC image of kind's entry size.
uint64_t entryDataEnd(const SectionKind& kind, const uint8_t* image);

}  // namespace nodal
}  // namespace dump
