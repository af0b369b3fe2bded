// The hypervisor data section: the MDRT (a table of 32-byte entries, each
// naming a main-store region by address and length), then the regions'
// bytes in table order. The stream does not carry the MDRT's length; it is
// the summary's mdrtTableSize. Region bytes are never read, only located.
#pragma once

#include <cstdint>
#include <vector>

#include "findings.h"
#include "streamSource.h"

namespace decode {

namespace mdrt {
constexpr size_t kEntryLength = 32;
constexpr size_t kField0 = 0;    // u64, not used by extraction
constexpr size_t kAddress = 8;   // u64, main-store address of the region
constexpr size_t kField16 = 16;  // u32, not used by extraction
constexpr size_t kLength = 20;   // u32, bytes of the region
constexpr size_t kField24 = 24;  // u64, not used by extraction
}  // namespace mdrt

struct MdrtEntry {
    uint64_t offset = 0;  // of the entry in the stream
    uint64_t field0 = 0;
    uint64_t address = 0;
    uint32_t field16 = 0;
    uint32_t length = 0;
    uint64_t field24 = 0;
};

struct MainStoreRegion {
    uint64_t offset = 0;   // of its bytes in the stream
    uint64_t address = 0;
    uint64_t length = 0;   // as the MDRT gives it
    uint64_t present = 0;  // bytes of it inside the stream
};

struct HypervisorSection {
    uint64_t offset = 0;      // of the section (the MDRT) in the stream
    uint64_t mdrtLength = 0;  // bytes of the MDRT block
    uint64_t entryCount = 0;  // whole entries in it
    uint64_t regionBytes = 0; // the regions' lengths added up
    uint64_t length = 0;      // bytes of the section inside the stream
    std::vector<MdrtEntry> entries;        // the first kMaxListed
    std::vector<MainStoreRegion> regions;  // one per listed entry, when the MDRT is whole
    bool cut = false;  // the stream ends inside the section

    static constexpr size_t kMaxListed = 65536;
};

// Decodes the section at offset, whose MDRT is mdrtLength bytes, and
// checks each region against the bytes that remain in the stream.
HypervisorSection decodeHypervisorSection(const StreamSource& source, uint64_t offset, uint64_t mdrtLength,
                                          Findings& findings);

}  // namespace decode
