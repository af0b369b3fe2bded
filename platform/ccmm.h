// The code-maintenance manager: a component prevents the service
// processor's concurrent code-maintenance features while work that must
// not overlap them runs, and allows them again afterwards. One component at
// a time holds the prevention.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

// Return codes of the manager's entries.
enum : uint32_t {
    // Prevention: the features are already prevented; the component
    // argument then names the holder.
    CCMM_RC_ALREADY_PREVENTED = 0x11030302,
    // Allowing: the features were not prevented.
    CCMM_RC_NOT_PREVENTED = 0x1102030C,
    // Allowing: another component holds the prevention.
    CCMM_RC_NOT_HOLDER = 0x11020301,
};

// Prevents the features for component. Null when they are now prevented
// for it; else an entry whose return code (getRC) tells why, and component
// may have been changed (to the component holding the prevention).
PLATFORM_EXPORT ErrlEntry* ccmmPreventCcmFeatures(unsigned short& component);
// Allows the features again for component; null, or an entry with a
// return code.
PLATFORM_EXPORT ErrlEntry* ccmmAllowCcmFeatures(unsigned short component);
