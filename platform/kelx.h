// The management-console service: whether consoles manage the system, as
// the service keeps it. The dump library records this view in a dump's
// system section, as the 20-byte big-endian image that flatten writes.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

// masterSession when no console is in control.
constexpr uint32_t KELX_NO_SESSION = 0xFFFFFFFF;

struct PLATFORM_EXPORT KelxManagedInfo {
    // Image (big-endian): 0 u32 managed | 4 u32 consoleCount |
    // 8 u32 masterSession | 12 u32 changeCount | 16 u32 reserved.
    static constexpr uint32_t IMAGE_SIZE = 20;

    uint32_t managed = 0;                   // 1 while at least one console manages the system
    uint32_t consoleCount = 0;              // consoles connected
    uint32_t masterSession = KELX_NO_SESSION;  // session index of the console in control
    uint32_t changeCount = 0;               // changes of the set of consoles since power-on
    uint32_t reserved = 0;

    // Writes IMAGE_SIZE bytes at image.
    void flatten(uint8_t* image) const;
};

// Fills info. refresh: ask the consoles rather than the service's cache
// (the dump library passes true). On failure info is left as it was.
PLATFORM_EXPORT ErrlEntry* kelxQueryKelManagedInfo(KelxManagedInfo& info, bool refresh);
