// The host mailbox of the service processor: one request to the managed
// server's host and its answer. The dump library uses it to have a range of
// main store mapped at a DMA address that the DMA engine (dmae.h) can read.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

// Request codes of the main-store exchange.
enum : uint32_t {
    MBOX_CEC_DATA_MAP = 0xC0,      // map a range (first form)
    MBOX_CEC_DATA_MAP_ALT = 0x80,  // map a range (second form)
    MBOX_CEC_DATA_RELEASE = 0x40,  // give back what was mapped for a range
};

// The host refused the first form of the request; the second may work.
constexpr uint16_t MBOX_REASON_USE_ALT_FORM = 0x9539;

extern "C" {

// Sends *request for the main-store range starting at (*addressHi,
// *addressLo) of *length bytes and waits for the answer. Returns null when
// the exchange worked: then *status holds the host's status (0 = good),
// *grantedLength and *dmaAddress what it mapped. On a returned entry (the
// caller owns it) the out values are left as they were.
PLATFORM_EXPORT ErrlEntry* mboxFetchCecData(uint32_t* request, uint32_t* addressHi,
                                            uint32_t* addressLo, uint32_t* length,
                                            uint32_t* dmaAddress, uint32_t* grantedLength,
                                            uint8_t* status, uint16_t component);
}
