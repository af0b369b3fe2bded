// The nodal files a summary names and the sizes derived from them. Flush
// measures every named nodal file and recomputes the derived size fields;
// progress reporting measures the data files of a dump still being
// collected. Both go through the one slot table here, in the one order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dump/summary/summaryLayout.h"

namespace dump {

// One nodal file slot of the file names region: the offsets of its name
// and of its size, and whether it is a data file (else a TOC file).
struct NodalSlot {
    size_t name;
    size_t size;
    bool data;
};

// sysTocFileName, sysDataFileName, then for each index 0 to 9
// hwTocFileName[i], hwDataFileName[i], spTocFileName[i], spDataFileName[i].
const std::vector<NodalSlot>& nodalSlots();

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
// totalDumpSize.
void recomputeDerivedFields(uint8_t* fileHeader, uint8_t* summary, const uint8_t* fileNames);

}  // namespace dump
