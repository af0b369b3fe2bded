// The three kinds of dump as the stream shows them: the file header's
// dumpTypeCode, the name prefix of dumpFileName, the summary eye-catcher,
// and how much of the 208-byte dump file header is offloaded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace decode {

enum class DumpKind { Unknown = 0, HardwareUnit = 1, System = 2, Resource = 3 };

struct DumpKindInfo {
    DumpKind kind;
    const char* name;               // "SYS"
    uint16_t typeCode;              // dumpTypeCode
    const char* fileNamePrefix;     // "SYSDUMP", 7 characters
    const char* summaryEyeCatcher;  // "SYS DUMP", 8 characters
    uint64_t offloadedHeaderSize;   // 208, or 160 for a hardware-unit dump
    uint32_t hardwareLastSection;   // lastSectionFlag of the hardware section
};

constexpr size_t kFileNamePrefixLength = 7;
constexpr size_t kSummaryEyeCatcherLength = 8;
constexpr uint64_t kFullHeaderSize = 208;
constexpr uint64_t kShortHeaderSize = 160;

// Null when no kind has this type code / eye-catcher.
const DumpKindInfo* kindByTypeCode(uint16_t typeCode);
const DumpKindInfo* kindByEyeCatcher(const uint8_t* eightBytes);
const DumpKindInfo& kindInfo(DumpKind kind);  // Unknown: a neutral entry named "unknown"

}  // namespace decode
