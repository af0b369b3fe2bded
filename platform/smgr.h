// The system manager of the service processor: requests about the managed
// server's initial program load.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

// Asks for an IPL of the kind in request on behalf of component. Returns
// null when the request was delivered, and *reply then holds the system
// manager's answer; otherwise an entry the caller owns.
PLATFORM_EXPORT ErrlEntry* smgrIplTypeRequest(uint32_t request, uint16_t component,
                                              uint32_t* reply);
