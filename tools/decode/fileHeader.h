// The dump file header at the start of the stream: a 64-byte file header
// followed by 48-byte section headers for the summary, the hardware data
// and the hypervisor data. A hardware-unit dump offloads only the first
// 160 bytes, ending after the hardware section header; other dumps all 208.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dumpKind.h"
#include "findings.h"
#include "streamSource.h"

namespace decode {

namespace filehdr {
constexpr size_t kLength = 64;
constexpr size_t kEyeCatcher = 0, kEyeCatcherWidth = 8;  // "FILE    "
constexpr size_t kHeaderLength = 8;                      // u16, 64
constexpr size_t kVersion = 20;                          // u16, 1
constexpr size_t kTypeCode = 22;                         // u16
constexpr size_t kFileName = 24, kFileNameWidth = 40;    // 39 characters and a NUL
constexpr size_t kFileNameId = kFileName + 16, kFileNameIdWidth = 8;  // "%08X" after "PREFIX.SERIAL7."
constexpr uint16_t kExpectedVersion = 1;
}  // namespace filehdr

namespace sectionhdr {
constexpr size_t kLength = 48;
constexpr size_t kEyeCatcher = 0, kEyeCatcherWidth = 8;  // "SECTION "
constexpr size_t kHeaderLength = 8;                      // u16, 48
constexpr size_t kPriority = 10;                         // u16
constexpr size_t kLastSection = 16;                      // u32
constexpr size_t kVersion = 20;                          // u16, 2
constexpr size_t kSize = 24;                             // u64
constexpr size_t kName = 32, kNameWidth = 16;
constexpr uint16_t kExpectedVersion = 2;
}  // namespace sectionhdr

enum SectionIndex : size_t { kSummarySection = 0, kHardwareSection = 1, kHypervisorSection = 2 };

struct SectionHeader {
    uint64_t offset = 0;  // of the section header in the stream
    std::string sectionEyeCatcher;
    uint16_t sectionHeaderLength = 0;
    uint16_t sectionPriority = 0;
    uint32_t lastSectionFlag = 0;
    uint16_t sectionVersion = 0;
    uint64_t sectionSize = 0;
    std::string sectionName;
};

struct FileHeader {
    bool present = false;  // the 64-byte file header was in the stream
    std::string fileEyeCatcher;
    uint16_t fileHeaderLength = 0;
    uint16_t fileHeaderVersion = 0;
    uint16_t dumpTypeCode = 0;
    std::string dumpFileName;
    std::string fileNameId;  // the 8 hex digits of the id inside dumpFileName
    DumpKind kind = DumpKind::Unknown;
    // Bytes of the dump file header in the stream, where the summary starts.
    uint64_t offloadedSize = kFullHeaderSize;
    // The section headers the offloaded header holds, as far as the stream
    // holds them, in section order.
    std::vector<SectionHeader> sections;

    const SectionHeader* section(SectionIndex i) const { return i < sections.size() ? &sections[i] : nullptr; }
};

// Decodes and checks the header. False when the stream ends before the
// whole offloaded header.
bool decodeFileHeader(const StreamSource& source, FileHeader& header, Findings& findings);

}  // namespace decode
