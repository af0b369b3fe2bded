// The hardware-access library's facility entry record, as far as the dump
// library reads it (DumpHwFacilityEntryInfo): 32-bit words at fixed byte
// offsets, in the host's byte order, and one status byte at offset 52.
#pragma once

#include <cstddef>
#include <cstdint>

struct hwFacilityEntry1 {
    uint32_t word[13];  // word[i] at byte 4 * i
    uint8_t status;     // byte 52
    uint8_t reserved[3];
};
static_assert(sizeof(hwFacilityEntry1) == 56, "hwFacilityEntry1 is 56 bytes");
static_assert(offsetof(hwFacilityEntry1, status) == 52, "status byte at offset 52");
