// Types shared across the dump library's interface: the component id of
// the dump component, the client record and the platform's BCD time stamp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dumpExport.h"
#include "platform/rtim.h"  // BCD_time8_t

// The dump component's id in every error-log entry, SRC, call point,
// user-data section and redundancy-manager call.
constexpr uint16_t DUMP_COMPONENT_ID = 0xF000;

// Who asked for a dump. Integers in the host's byte order (big-endian on
// the service processor); text NUL-terminated when shorter than its field.
struct DumpClientRecord_t {
    uint32_t toolType;    // bytes 0-3
    char clientId[32];    // bytes 4-35
    char userId[33];      // bytes 36-68
    uint8_t reserved[3];  // bytes 69-71, zero
};
static_assert(sizeof(DumpClientRecord_t) == 72, "DumpClientRecord_t is 72 bytes");
static_assert(offsetof(DumpClientRecord_t, clientId) == 4, "clientId at byte 4");
static_assert(offsetof(DumpClientRecord_t, userId) == 36, "userId at byte 36");
static_assert(offsetof(DumpClientRecord_t, reserved) == 69, "reserved at byte 69");
