// The nodal files a summary names and the sizes derived from them. Flush
// measures every named nodal file and recomputes the derived size fields;
// progress reporting measures the data files of a dump still being
// collected. Both go through the one slot table here, in the one order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// The stored name of a slot; empty when the slot is.
std::string slotName(const uint8_t* fileNames, const NodalSlot& slot);

// The size of the file as a plain read-only open reports it (32-bit); a
// file that cannot be opened is traced, and its size is what the unopened
// object reports (0).
uint32_t measuredSize(const std::string& name);

// Recomputes the derived fields of the file header and summary images
// from the file names image's sizes and the summary's main-store sizes:
// nodalDataSize, both data sections' sizes, hwDumpTotalSize and
// totalDumpSize.
void recomputeDerivedFields(uint8_t* fileHeader, uint8_t* summary, const uint8_t* fileNames);

}  // namespace dump
