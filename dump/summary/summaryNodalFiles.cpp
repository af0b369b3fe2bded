// The nodal slot table, file measurement and the derived size fields.
#include "dump/summary/summaryNodalFiles.h"

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platform/errlEntry.h"
#include "platform/utilFile.h"

namespace dump {

using namespace layout;

namespace {

// hwDumpTotalSize counts the summary section before the nodal files.
constexpr uint32_t kSummarySectionBytes = 1024;

// Stores v in the field unless it already holds it; true when it changed.
bool putU32Changed(uint8_t* p, size_t off, uint32_t v) {
    if (be::getU32(p + off, 0) == v) return false;
    be::putU32(p, off, v);
    return true;
}
bool putU64Changed(uint8_t* p, size_t off, uint64_t v) {
    if (be::getU64(p + off, 0) == v) return false;
    be::putU64(p, off, v);
    return true;
}

}  // namespace

uint32_t measuredSize(const char* name) {
    UtilFile file(name);
    file.Open("r", false);
    if (ErrlEntry* e = file.hasError() ? takeError(file) : nullptr) {
        trace("DumpSummary: nodal file %s not opened, rc 0x%X", name, e->getRC());
        discard(e);
    }
    return static_cast<uint32_t>(file.size());
}

bool recomputeDerivedFields(uint8_t* fileHeader, uint8_t* summary, const uint8_t* fileNames) {
    uint32_t dataBytes = 0;
    uint32_t allBytes = 0;
    for (const NodalSlot& slot : kNodalSlots) {
        const uint32_t size = storedSize(fileNames, slot);
        allBytes += size;
        if (slot.data) dataBytes += size;
    }
    bool changed = putU32Changed(summary, sum::NODAL_DATA_SIZE, dataBytes);
    // The hardware section's size is 32-bit: its high word stays as it is.
    changed |= putU32Changed(fileHeader, hdr::section(hdr::HARDWARE_SECTION) + hdr::SEC_SIZE_LOW_WORD, allBytes);
    const uint32_t hwTotal = kSummarySectionBytes + allBytes;
    changed |= putU32Changed(summary, sum::HW_DUMP_TOTAL_SIZE, hwTotal);

    const uint64_t mainStore = be::getU64(summary, sum::MEMORY_DUMP_SIZE);
    const uint32_t mdrtTable = be::getU32(summary, sum::MDRT_TABLE_SIZE);
    changed |= putU64Changed(fileHeader, hdr::section(hdr::HYPERVISOR_SECTION) + hdr::SEC_SIZE, mainStore + mdrtTable);
    changed |= putU64Changed(summary, sum::TOTAL_DUMP_SIZE, static_cast<uint32_t>(hwTotal + mdrtTable) + mainStore);
    return changed;
}

}  // namespace dump
