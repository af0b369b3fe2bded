// The rules by which a nodal section's finalisation judges its TOC/data
// pair and repairs what an interrupted writer left, as arithmetic on the
// two files' lengths and the header's counts. DumpNodalSection applies them
// to the files; the platdump tool's read-only check applies them to the
// bytes it reads, to say what the next finalisation would change. Header
// only, so that the check shares the rules without linking code that
// writes.
#pragma once

#include <cstdint>

#include "dump/nodal/nodalLayout.h"

namespace dump {
namespace nodal {
namespace repair {

// Length of a TOC file that holds entryCount entries.
constexpr uint64_t tocLength(uint32_t entrySize, uint32_t entryCount) {
    return TOC_HEADER_SIZE + uint64_t(entrySize) * entryCount;
}

// A reopened TOC of at least this many bytes is continued from its own
// header; a shorter one gets a fresh header with no entries.
constexpr uint64_t CONTINUED_TOC_MIN = TOC_HEADER_SIZE;

// The finaliser judges the entries by the header's entry size, reading each
// entry's data offset and size where the section's kind keeps them. An
// entry size too small to hold those fields (0 among them) leaves them
// undefined: such a pair is left as it is.
constexpr bool entriesJudgeable(uint16_t entrySize, uint16_t kindEntrySize) { return entrySize >= kindEntrySize; }

// The TOC length the header describes, by its own header size.
constexpr uint64_t describedTocLength(uint16_t headerSize, uint32_t entrySize, uint32_t entryCount) {
    return headerSize + uint64_t(entrySize) * entryCount;
}

// The pair needs no repair: the TOC holds exactly the entries its header
// counts and the data file has the length the header records.
constexpr bool consistent(uint64_t tocEnd, uint64_t dataEnd, uint16_t headerSize, uint32_t entrySize,
                          uint32_t entryCount, uint32_t dataFileSize) {
    return tocEnd == describedTocLength(headerSize, entrySize, entryCount) && dataEnd == dataFileSize;
}

// The entries wholly present in a TOC of tocEnd bytes; none in a TOC no
// longer than a header. entrySize is not 0 (entriesJudgeable holds).
constexpr uint32_t wholeEntries(uint64_t tocEnd, uint32_t entrySize) {
    return tocEnd > TOC_HEADER_SIZE ? uint32_t((tocEnd - TOC_HEADER_SIZE) / entrySize) : 0;
}

// Items are dropped from the end until the last one's data lies wholly
// inside the data file; the data file is then cut where that item ends.
constexpr bool itemPresent(uint64_t itemEnd, uint64_t dataEnd) { return itemEnd <= dataEnd; }

// Zero bytes appended to the data file so that the data and the TOC
// together take a multiple of 16 bytes.
constexpr uint32_t padding(uint64_t dataEnd, uint64_t tocEnd) {
    const uint32_t over = static_cast<uint32_t>((dataEnd + tocEnd) % SECTION_ALIGNMENT);
    return over ? SECTION_ALIGNMENT - over : 0;
}

}  // namespace repair
}  // namespace nodal
}  // namespace dump
