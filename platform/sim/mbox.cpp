// The host mailbox on the host. The simulated host maps a main-store range
// at a DMA address for the map requests (0xC0, 0x80), forgets the mappings
// of a range for the release request (0x40), and answers a range beyond
// the main store with status 0x02, one larger than its DMA window with
// status 0x03 and an unknown request with status 0xFF. Every exchange is
// logged to sim/mbox.log and traced to "mbox".
//
// Fault mboxFetchCecData (subject: "<request %02X> <address %016llX>"),
// by its mode= word:
//   refuse9539  returns an entry with reason code 0x9539 (no answer)
//   status      answers with status status=N (default 0x01), nothing mapped
//   short       maps and answers granted=N bytes (default the length - 1)
//   (none)      returns an entry (reason 0x2201 unless reason=N)
#include "platform/mbox.h"

#include <cstdio>
#include <string>

#include "mainStore.h"
#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::Fault;

namespace {

enum : uint16_t {
    RC_MBOX_FAILED = 0x2201,
    RC_MBOX_ARGS = 0x2202,
};

enum : uint8_t {
    STATUS_GOOD = 0x00,
    STATUS_FAULT_DEFAULT = 0x01,
    STATUS_OUT_OF_RANGE = 0x02,
    STATUS_TOO_LARGE = 0x03,
    STATUS_UNKNOWN_REQUEST = 0xFF,
};

struct Exchange {
    uint32_t request;
    uint64_t address;
    uint32_t length;
    uint32_t dma = 0;
    uint32_t granted = 0;
    uint8_t status = STATUS_GOOD;
};

std::string subjectOf(const Exchange& x) {
    char text[40];
    std::snprintf(text, sizeof text, "%02X %016llX", static_cast<unsigned>(x.request),
                  static_cast<unsigned long long>(x.address));
    return text;
}

// One line per exchange in sim/mbox.log and in the "mbox" trace:
// "<subject> <length %08X> -> status=SS dma=DDDDDDDD granted=GGGGGGGG"
// or "... -> error=RRRR".
void record(const Exchange& x, const ErrlEntry* error) {
    char outcome[64];
    if (error)
        std::snprintf(outcome, sizeof outcome, "error=%04X", error->getSRC(0)->reasonCode());
    else
        std::snprintf(outcome, sizeof outcome, "status=%02X dma=%08X granted=%08X", x.status,
                      x.dma, x.granted);
    char length[16];
    std::snprintf(length, sizeof length, "%08X", x.length);
    std::string line = subjectOf(x) + " " + length + " -> " + outcome;
    platsim::detail::appendHostLine(platsim::detail::root() + "/sim/mbox.log", line);
    trace_adal_write_all(platsim::detail::serviceTrace("mbox"), "mboxFetchCecData %s",
                         line.c_str());
}

ErrlEntry* mailboxError(uint16_t reason, const char* what, const Exchange& x,
                        const Fault* injected) {
    ErrlEntry* e = platsim::detail::platformError(platsim::detail::COMP_MBOX, reason, 1, what,
                                                  subjectOf(x), 0, injected, x.length);
    record(x, e);
    return e;
}

void map(Exchange& x, uint32_t grantLength) {
    uint64_t size = platsim::detail::mainStoreSize();
    if (x.address > size || grantLength > size - x.address) {
        x.status = STATUS_OUT_OF_RANGE;
        return;
    }
    if (!platsim::detail::grantDmaRange(x.address, grantLength, x.dma)) {
        x.status = STATUS_TOO_LARGE;
        return;
    }
    x.granted = grantLength;
}

// The host's answer to a request that reached it.
void answer(Exchange& x, const Fault* injected) {
    std::string mode = injected && injected->has("mode") ? injected->params.at("mode") : "";
    if (mode == "status") {
        x.status = static_cast<uint8_t>(injected->num("status", STATUS_FAULT_DEFAULT));
        return;
    }
    switch (x.request) {
        case MBOX_CEC_DATA_MAP:
        case MBOX_CEC_DATA_MAP_ALT:
            map(x, mode == "short" ? static_cast<uint32_t>(injected->num("granted", x.length - 1))
                                   : x.length);
            return;
        case MBOX_CEC_DATA_RELEASE:
            platsim::detail::releaseDmaRanges(x.address);
            return;
        default:
            x.status = STATUS_UNKNOWN_REQUEST;
    }
}

}  // namespace

extern "C" ErrlEntry* mboxFetchCecData(uint32_t* request, uint32_t* addressHi,
                                       uint32_t* addressLo, uint32_t* length,
                                       uint32_t* dmaAddress, uint32_t* grantedLength,
                                       uint8_t* status, uint16_t) {
    if (!request || !addressHi || !addressLo || !length || !dmaAddress || !grantedLength ||
        !status) {
        Exchange none{0, 0, 0};
        return mailboxError(RC_MBOX_ARGS, "mailbox request (null argument)", none, nullptr);
    }
    Exchange x{*request, (static_cast<uint64_t>(*addressHi) << 32) | *addressLo, *length};
    auto f = platsim::detail::fault("mboxFetchCecData", subjectOf(x));
    if (f) {
        std::string mode = f->has("mode") ? f->params.at("mode") : "";
        if (mode == "refuse9539")
            return mailboxError(MBOX_REASON_USE_ALT_FORM, "mailbox request refused", x, &*f);
        if (mode != "status" && mode != "short")
            return mailboxError(RC_MBOX_FAILED, "mailbox request", x, &*f);
    }
    answer(x, f ? &*f : nullptr);
    record(x, nullptr);
    *status = x.status;
    bool mapped = x.status == STATUS_GOOD && x.request != MBOX_CEC_DATA_RELEASE;
    if (mapped) {
        *dmaAddress = x.dma;
        *grantedLength = x.granted;
    }
    return nullptr;
}
