// The dump every library fuzzer finds in its root: a complete system dump
// that the shared collector made through the library on the simulated
// machine (client record and SRC, one node group of hardware and
// service-processor items, the system section with a registry value and an
// error log, an MDRT of two main-store regions), and the
// bytes of each of its files as they were made, so that what an input's
// orphan sweep or repair took away can be put back with one write a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collector/dumpCollector.h"

namespace fuzzsupport {

constexpr unsigned int kResidentId = 0x1A;

// An MDRT entry: 32 bytes, the region's main-store address (u64) at 8 and
// its length (u32) at 20.
using collector::kMdrtAddressAt;
using collector::kMdrtEntrySize;
using collector::kMdrtLengthAt;

// The managed server's main store: kMainStoreSize bytes, the byte at
// address a being mainStoreByte(a).
constexpr uint64_t kMainStoreSize = 1u << 20;
uint8_t mainStoreByte(uint64_t address);

struct ResidentFile {
    std::string spPath;    // as the summary names it
    std::string hostPath;
    std::string bytes;
};

struct ResidentDump {
    ResidentFile summary;
    ResidentFile mdrt;
    std::vector<ResidentFile> nodalFiles;  // hardware TOC and data, service-processor, system

    // Writes back every file as it was made.
    void restore() const;
};

// Made on the first call, in the process's root (fuzzRoot.h).
const ResidentDump& residentDump();

}  // namespace fuzzsupport
