// The nodal files a summary names and the sizes derived from them. Flush
// measures every named nodal file and recomputes the derived size fields;
// progress reporting measures the data files of a dump still being
// collected. Both go through the one slot table here, in the one order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dump/summary/summaryLayout.h"

namespace dump {

// One nodal file slot of the file names region: the offsets of its name
// and of its size, and whether it is a data file (else a TOC file).
struct NodalSlot {
    size_t name;
    size_t size;
    bool data;
};

constexpr size_t NODAL_SLOT_COUNT = 2 + 4 * layout::names::NODAL_SLOTS;

// sysTocFileName, sysDataFileName, then for each index 0 to 9
// hwTocFileName[i], hwDataFileName[i], spTocFileName[i], spDataFileName[i].
constexpr std::array<NodalSlot, NODAL_SLOT_COUNT> nodalSlotTable() {
    using namespace layout::names;
    std::array<NodalSlot, NODAL_SLOT_COUNT> slots{};
    slots[0] = {SYS_TOC_FILE_NAME, SYS_TOC_FILE_SIZE, false};
    slots[1] = {SYS_DATA_FILE_NAME, SYS_DATA_FILE_SIZE, true};
    for (unsigned i = 0; i < NODAL_SLOTS; ++i) {
        slots[2 + 4 * i] = {nameSlot(HW_TOC_FILE_NAME, i), sizeSlot(HW_TOC_FILE_SIZE, i), false};
        slots[3 + 4 * i] = {nameSlot(HW_DATA_FILE_NAME, i), sizeSlot(HW_DATA_FILE_SIZE, i), true};
        slots[4 + 4 * i] = {nameSlot(SP_TOC_FILE_NAME, i), sizeSlot(SP_TOC_FILE_SIZE, i), false};
        slots[5 + 4 * i] = {nameSlot(SP_DATA_FILE_NAME, i), sizeSlot(SP_DATA_FILE_SIZE, i), true};
    }
    return slots;
}
inline constexpr std::array<NodalSlot, NODAL_SLOT_COUNT> kNodalSlots = nodalSlotTable();

// A slot's stored size. Read through a pointer to the field itself, the
// compiler loads the word in one go rather than byte by byte.
inline uint32_t storedSize(const uint8_t* fileNames, const NodalSlot& slot) {
    return be::getU32(fileNames + slot.size, 0);
}

// The stored name of a slot, ended inside the buffer; empty when the slot
// is. Flush looks at every slot on every call: no heap.
struct SlotName {
    char text[layout::names::NAME_WIDTH + 1];
    bool empty() const { return text[0] == '\0'; }
};
inline SlotName slotName(const uint8_t* fileNames, const NodalSlot& slot) {
    SlotName n;
    n.text[0] = '\0';
    const char* stored = reinterpret_cast<const char*>(fileNames + slot.name);
    if (stored[0]) {
        const size_t length = strnlen(stored, layout::names::NAME_WIDTH);
        std::memcpy(n.text, stored, length);
        n.text[length] = '\0';
    }
    return n;
}

// The size of the file as a plain read-only open reports it (32-bit); a
// file that cannot be opened is traced, and its size is what the unopened
// object reports (0).
uint32_t measuredSize(const char* name);

// Recomputes the derived fields of the file header and summary images
// from the file names image's sizes and the summary's main-store sizes:
// nodalDataSize, both data sections' sizes, hwDumpTotalSize and
// totalDumpSize. True when a byte of them changed (nothing else is
// touched, so the images then differ from what they were).
bool recomputeDerivedFields(uint8_t* fileHeader, uint8_t* summary, const uint8_t* fileNames);

}  // namespace dump
