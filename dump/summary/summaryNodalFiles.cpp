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

std::vector<NodalSlot> buildSlots() {
    std::vector<NodalSlot> slots = {{names::SYS_TOC_FILE_NAME, names::SYS_TOC_FILE_SIZE, false},
                                    {names::SYS_DATA_FILE_NAME, names::SYS_DATA_FILE_SIZE, true}};
    for (unsigned i = 0; i < names::NODAL_SLOTS; ++i) {
        slots.push_back({names::nameSlot(names::HW_TOC_FILE_NAME, i), names::sizeSlot(names::HW_TOC_FILE_SIZE, i), false});
        slots.push_back({names::nameSlot(names::HW_DATA_FILE_NAME, i), names::sizeSlot(names::HW_DATA_FILE_SIZE, i), true});
        slots.push_back({names::nameSlot(names::SP_TOC_FILE_NAME, i), names::sizeSlot(names::SP_TOC_FILE_SIZE, i), false});
        slots.push_back({names::nameSlot(names::SP_DATA_FILE_NAME, i), names::sizeSlot(names::SP_DATA_FILE_SIZE, i), true});
    }
    return slots;
}

}  // namespace

const std::vector<NodalSlot>& nodalSlots() {
    // The static's guard also has a branch for another thread's initialisation.
    static const std::vector<NodalSlot> slots = buildSlots();  // GCOVR_EXCL_BR_LINE
    return slots;
}

uint32_t measuredSize(const char* name) {
    UtilFile file(name);
    file.Open("r", false);
    if (ErrlEntry* e = takeError(file)) {
        trace("DumpSummary: nodal file %s not opened, rc 0x%X", name, e->getRC());
        discard(e);
    }
    return static_cast<uint32_t>(file.size());
}

void recomputeDerivedFields(uint8_t* fileHeader, uint8_t* summary, const uint8_t* fileNames) {
    uint32_t dataBytes = 0;
    uint32_t allBytes = 0;
    for (const NodalSlot& slot : nodalSlots()) {
        uint32_t size = be::getU32(fileNames, slot.size);
        allBytes += size;
        if (slot.data) dataBytes += size;
    }
    be::putU32(summary, sum::NODAL_DATA_SIZE, dataBytes);
    // The hardware section's size is 32-bit: its high word stays as it is.
    be::putU32(fileHeader, hdr::section(hdr::HARDWARE_SECTION) + hdr::SEC_SIZE_LOW_WORD, allBytes);
    const uint32_t hwTotal = kSummarySectionBytes + allBytes;
    be::putU32(summary, sum::HW_DUMP_TOTAL_SIZE, hwTotal);

    const uint64_t mainStore = be::getU64(summary, sum::MEMORY_DUMP_SIZE);
    const uint32_t mdrtTable = be::getU32(summary, sum::MDRT_TABLE_SIZE);
    be::putU64(fileHeader, hdr::section(hdr::HYPERVISOR_SECTION) + hdr::SEC_SIZE, mainStore + mdrtTable);
    be::putU64(summary, sum::TOTAL_DUMP_SIZE, static_cast<uint32_t>(hwTotal + mdrtTable) + mainStore);
}

}  // namespace dump
