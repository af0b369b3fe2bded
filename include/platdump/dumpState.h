// _dumpstate: the fixed public record that condenses one dump for the
// applications that show or offload dumps; DumpSummary::PopulateDumpState
// fills it. The caller owns the record and sets size to 92 before the
// call. The record is 92 bytes with the same offsets on every build: a
// 64-bit value is two 32-bit words, high word first, so it needs only
// 4-byte alignment, as on the 32-bit service processor. Integers are in
// the host's byte order (big-endian on the service processor).
#pragma once

#include <cstddef>
#include <cstdint>

// A 64-bit value of the record: two 32-bit words, high word first.
struct DumpStateU64_t {
    uint32_t high;
    uint32_t low;

    uint64_t value() const { return (static_cast<uint64_t>(high) << 32) | low; }
    void set(uint64_t v) {
        high = static_cast<uint32_t>(v >> 32);
        low = static_cast<uint32_t>(v);
    }
};

struct _dumpstate {
    uint32_t size;                        // 0: 92, set by the caller
    uint32_t dumpId;                      // 4
    char dumpFileName[48];                // 8: the dump's offload name, NUL-terminated
    uint32_t summaryType;                 // 56: DumpSummary::typeOfSummary_t
    uint32_t contentType;                 // 60
    uint16_t dumpFlags;                   // 64
    uint16_t hwErrorFlags;                // 66
    DumpStateU64_t memoryDumpErrorFlags;  // 68
    uint32_t dataSize;                    // 76: bytes of the nodal data files
    DumpStateU64_t dumpSize;              // 80: offloaded bytes once complete, else 0
    uint32_t progress;                    // 88: percent complete
};

static_assert(sizeof(DumpStateU64_t) == 8 && alignof(DumpStateU64_t) == 4, "two 32-bit words");
static_assert(sizeof(_dumpstate) == 92 && alignof(_dumpstate) == 4, "_dumpstate is 92 bytes");
static_assert(offsetof(_dumpstate, size) == 0, "size at 0");
static_assert(offsetof(_dumpstate, dumpId) == 4, "dumpId at 4");
static_assert(offsetof(_dumpstate, dumpFileName) == 8, "dumpFileName at 8");
static_assert(offsetof(_dumpstate, summaryType) == 56, "summaryType at 56");
static_assert(offsetof(_dumpstate, contentType) == 60, "contentType at 60");
static_assert(offsetof(_dumpstate, dumpFlags) == 64, "dumpFlags at 64");
static_assert(offsetof(_dumpstate, hwErrorFlags) == 66, "hwErrorFlags at 66");
static_assert(offsetof(_dumpstate, memoryDumpErrorFlags) == 68, "memoryDumpErrorFlags at 68");
static_assert(offsetof(_dumpstate, dataSize) == 76, "dataSize at 76");
static_assert(offsetof(_dumpstate, dumpSize) == 80, "dumpSize at 80");
static_assert(offsetof(_dumpstate, progress) == 88, "progress at 88");
