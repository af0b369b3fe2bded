#include "dumpKind.h"

#include <cstring>

namespace decode {

namespace {

const DumpKindInfo kKinds[] = {
    {DumpKind::HardwareUnit, "HWU", 17, "HWUDUMP", "HWU DUMP", kShortHeaderSize, 1},
    {DumpKind::System, "SYS", 15, "SYSDUMP", "SYS DUMP", kFullHeaderSize, 0},
    {DumpKind::Resource, "RSC", 0, "RSCDUMP", "RSC DUMP", kFullHeaderSize, 0},
};
const DumpKindInfo kUnknown = {DumpKind::Unknown, "unknown", 0xFFFF, "", "", kFullHeaderSize, 0};

}  // namespace

const DumpKindInfo* kindByTypeCode(uint16_t typeCode) {
    for (const DumpKindInfo& k : kKinds)
        if (k.typeCode == typeCode) return &k;
    return nullptr;
}

const DumpKindInfo* kindByEyeCatcher(const uint8_t* eightBytes) {
    for (const DumpKindInfo& k : kKinds)
        if (std::memcmp(eightBytes, k.summaryEyeCatcher, kSummaryEyeCatcherLength) == 0) return &k;
    return nullptr;
}

const DumpKindInfo& kindInfo(DumpKind kind) {
    for (const DumpKindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kUnknown;
}

}  // namespace decode
