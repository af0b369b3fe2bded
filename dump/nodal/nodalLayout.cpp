// Encoding of the TOC header and entries, and the section kinds.
#include "dump/nodal/nodalLayout.h"

#include <cstring>

#include "platform/bigEndian.h"

namespace dump {
namespace nodal {

void TocHeader::encode(uint8_t* p) const {
    std::memset(p, 0, TOC_HEADER_SIZE);
    std::memcpy(p + hdr::SECTION_NAME, sectionName, hdr::SECTION_NAME_WIDTH);
    be::putU16(p, hdr::HEADER_SIZE, headerSize);
    be::putU16(p, hdr::VERSION, version);
    be::putU32(p, hdr::CONTENT_CODE, contentCode);
    be::putU32(p, hdr::TOTAL_SIZE, totalSize);
    be::putU16(p, hdr::LAYOUT_CODE, layoutCode);
    be::putU16(p, hdr::SECTION_INDEX, sectionIndex);
    be::putU32(p, hdr::DATA_FILE_SIZE, dataFileSize);
    be::putU32(p, hdr::ENTRY_COUNT, entryCount);
    be::putU16(p, hdr::ENTRY_SIZE, entrySize);
}

bool TocHeader::decode(const uint8_t* p, size_t length) {
    if (!p || length < TOC_HEADER_SIZE) return false;
    std::memcpy(sectionName, p + hdr::SECTION_NAME, hdr::SECTION_NAME_WIDTH);
    headerSize = be::getU16(p, hdr::HEADER_SIZE);
    version = be::getU16(p, hdr::VERSION);
    contentCode = be::getU32(p, hdr::CONTENT_CODE);
    totalSize = be::getU32(p, hdr::TOTAL_SIZE);
    layoutCode = be::getU16(p, hdr::LAYOUT_CODE);
    sectionIndex = be::getU16(p, hdr::SECTION_INDEX);
    dataFileSize = be::getU32(p, hdr::DATA_FILE_SIZE);
    entryCount = be::getU32(p, hdr::ENTRY_COUNT);
    entrySize = be::getU16(p, hdr::ENTRY_SIZE);
    return true;
}

const SectionKind* sectionKind(int type) {
    static const SectionKind kinds[] = {
        {"HWDATA", hw::SIZE, hw::DATA_OFFSET, hw::DATA_SIZE},
        {"SPDATA", sp::SIZE, sp::DATA_OFFSET, sp::DATA_SIZE},
        {"SYSDATA", sp::SIZE, sp::DATA_OFFSET, sp::DATA_SIZE},
    };
    // Sections hold one of the enum's types: only a cast makes another.
    if (type < DumpNodalSection::HWDATA || type > DumpNodalSection::SYSDATA) return nullptr;  // GCOVR_EXCL_BR_LINE
    return &kinds[type - DumpNodalSection::HWDATA];
}

void encodeEntry(const DumpSpTocEntry& e, uint8_t* p) {
    be::putU32(p, sp::ENTRY_ID, e.entryId);
    be::putU32(p, sp::DATA_OFFSET, e.dataOffset);
    be::putU32(p, sp::DATA_SIZE, e.dataSize);
}

void encodeEntry(const DumpHwTocEntry& e, uint8_t* p) {
    be::putU32(p, hw::WORD0, e.hwWord0);
    be::putU32(p, hw::WORD1, e.hwWord1);
    be::putU32(p, hw::WORD2, e.hwWord2);
    be::putU32(p, hw::WORD3, e.hwWord3);
    be::putU32(p, hw::DATA_OFFSET, e.dataOffset);
    be::putU32(p, hw::WORD4, e.hwWord4);
    be::putU32(p, hw::DATA_SIZE, e.dataSize);
}

uint64_t entryDataEnd(const SectionKind& kind, const uint8_t* p) {
    return static_cast<uint64_t>(be::getU32(p, kind.dataOffsetAt)) + be::getU32(p, kind.dataSizeAt);
}

}  // namespace nodal
}  // namespace dump
