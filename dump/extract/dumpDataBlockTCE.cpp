// The TCE block: the host maps the wanted main-store range at a DMA address
// through the mailbox, and the DMA engine reads it from there. An unusable
// answer (bad status, wrong granted length) is retried once of each kind;
// every failure gives back what was mapped for the range (release request).
#include <cstdint>

#include "dump/extract/mainStoreAccess.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpDataBlock.h"
#include "platdump/dumpErrl.h"
#include "platdump/dumpTypes.h"
#include "platdump/dumpUsrData.h"
#include "platform/errlEntry.h"
#include "platform/mbox.h"

namespace {

constexpr dump::Site kBothFormsRefused = {dump::MAIN_STORE_MODULE, 1};
constexpr dump::Site kExchangeFailed = {dump::MAIN_STORE_MODULE, 2};
constexpr dump::Site kBadStatus = {dump::MAIN_STORE_MODULE, 3};
constexpr dump::Site kShortGrant = {dump::MAIN_STORE_MODULE, 4};
constexpr dump::Site kDmaReadFailed = {dump::MAIN_STORE_MODULE, 5};

// The working values of one read's mailbox exchanges, passed to the
// mailbox by address. dmaAddress keeps what the mailbox last wrote.
struct Exchange {
    uint32_t request = 0;
    uint32_t addressHi;
    uint32_t addressLo;
    uint32_t length;
    uint32_t dmaAddress = 0;
    uint32_t granted = 0;
    uint8_t status = 0;

    Exchange(uint64_t start, uint32_t wanted)
        : addressHi(static_cast<uint32_t>(start >> 32)),
          addressLo(static_cast<uint32_t>(start)),
          length(wanted) {}

    // One request with the answer fields cleared.
    ErrlEntry* send(uint32_t code) {
        granted = 0;
        status = 0;
        request = code;
        return mboxFetchCecData(&request, &addressHi, &addressLo, &length, &dmaAddress, &granted,
                                &status, DUMP_COMPONENT_ID);
    }

    // The release request for the range, with the last granted length; its
    // outcome does not matter.
    void release() {
        request = MBOX_CEC_DATA_RELEASE;
        ErrlEntry* e = mboxFetchCecData(&request, &addressHi, &addressLo, &granted, &dmaAddress,
                                        &granted, &status, DUMP_COMPONENT_ID);
        dump::discard(e);
    }
};

bool refusedFirstForm(const ErrlEntry* e) {
    const SrciSrc* src = e->getSRC(0);
    return src && src->reasonCode() == MBOX_REASON_USE_ALT_FORM;
}

// One mapping request, in its second form when the host refuses the first.
ErrlEntry* requestMapping(Exchange& x) {
    ErrlEntry* e = x.send(MBOX_CEC_DATA_MAP);
    if (!e) return nullptr;
    dump::Site site = kExchangeFailed;
    if (refusedFirstForm(e)) {
        dump::trace("DumpDataBlockTCE: first request form refused, sending the second");
        dump::discard(e);
        e = x.send(MBOX_CEC_DATA_MAP_ALT);
        site = kBothFormsRefused;
    }
    return dump::receivedAt(e, site, dump::REASON_MAILBOX, x.length, x.status, 0);
}

// An unusable answer, noted in info. With its allowance left the notice is
// committed and the caller asks again (null); otherwise info is the failure.
ErrlEntry* unusableAnswer(ErrlEntry* info, uint8_t& allowance) {
    info->CollectTrace("mbox", 0);
    if (allowance == 1) {
        allowance = 0;
        dump::commit(info);
        return nullptr;
    }
    info->setSev(ERRL_SEV_UNRECOVERABLE);
    return info;
}

// Mailbox exchanges until the host grants exactly the wanted range, or the
// failure that ends them.
ErrlEntry* obtainMapping(Exchange& x) {
    uint8_t statusAllowance = 1;
    uint8_t lengthAllowance = 1;
    for (;;) {
        if (ErrlEntry* e = requestMapping(x)) return e;
        if (x.status != 0) {
            dump::trace("DumpDataBlockTCE: mailbox status 0x%02X", x.status);
            ErrlEntry* info = dump::infoAt(kBadStatus, dump::RC_PLATFORM, dump::REASON_MAILBOX, x.status);
            if (ErrlEntry* e = unusableAnswer(info, statusAllowance)) return e;
            continue;
        }
        if (x.granted != x.length) {
            dump::trace("DumpDataBlockTCE: granted %u of %u bytes", x.granted, x.length);
            ErrlEntry* info = dump::infoAt(kShortGrant, dump::RC_PLATFORM, dump::REASON_MAILBOX,
                                           x.length, x.granted);
            if (ErrlEntry* e = unusableAnswer(info, lengthAllowance)) return e;
            continue;
        }
        return nullptr;
    }
}

// Every failure: the request as a section, both services' traces, and the
// mapping given back.
ErrlEntry* failed(ErrlEntry* e, Exchange& x) {
    dumpAddDetails(
        DumpBufferDataInfo(DUMP_COMPONENT_ID, x.dmaAddress, x.length, x.addressHi, x.addressLo),
        e);
    e->CollectTrace("mbox", 0);
    e->CollectTrace("dmae", 0);
    x.release();
    return e;
}

}  // namespace

DumpDataBlockTCE::DumpDataBlockTCE(unsigned int size, unsigned long long address)
    : DumpDataBlock(size, address, BLOCK_TCE) {}

DumpDataBlockTCE::~DumpDataBlockTCE() = default;

ErrlEntry* DumpDataBlockTCE::getData(uint32_t offset, uint32_t length, char* buffer,
                                     dumpDMAEhandle* handle) const {
    uint64_t start = dump::startAddress(iv_Location, offset);
    dump::trace("DumpDataBlockTCE::getData: block 0x%016llX start 0x%016llX length %u",
                static_cast<unsigned long long>(iv_Location),
                static_cast<unsigned long long>(start), length);
    Exchange x(start, length);
    if (ErrlEntry* e = obtainMapping(x)) return failed(e, x);
    dump::EngineHandle engine(handle);
    if (ErrlEntry* e = dump::prepareEngine(true, engine.get())) return failed(e, x);
    ErrlEntry* e = dump::readByEngine(x.dmaAddress, buffer, length, true, engine.get());
    if (!e) return nullptr;
    dump::trace("DumpDataBlockTCE::getData: DMA read at 0x%08X failed", x.dmaAddress);
    return failed(dump::receivedAt(e, kDmaReadFailed, dump::REASON_DMA_READ), x);
}
