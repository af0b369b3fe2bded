// The code-maintenance lock: the manager's answers the dump component
// tolerates, and its failure table (source file 0x18).
#include "platdump/dumpCCMOperationLock.h"

#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpTypes.h"
#include "platform/ccmm.h"

namespace {

const dump::Site PREVENT_REFUSED = {0x0118, 1};
const dump::Site ALLOW_REFUSED = {0x0218, 2};

}  // namespace

dumpCCMOperationLock::dumpCCMOperationLock() {}

dumpCCMOperationLock::~dumpCCMOperationLock() {}

ErrlEntry* dumpCCMOperationLock::getCCMOperationLock() {
    dump::trace("getCCMOperationLock: preventing code maintenance for 0x%04X", DUMP_COMPONENT_ID);
    unsigned short component = DUMP_COMPONENT_ID;
    ErrlEntry* errl = ccmmPreventCcmFeatures(component);
    if (!errl) return nullptr;

    uint32_t rc = errl->getRC();
    if (rc == CCMM_RC_ALREADY_PREVENTED && component == DUMP_COMPONENT_ID) {
        dump::trace("getCCMOperationLock: already prevented for 0x%04X", component);
        dump::discard(errl);
        return nullptr;
    }
    dump::trace("getCCMOperationLock: refused, rc 0x%08X, component 0x%04X", rc, component);
    return dump::receivedAt(errl, PREVENT_REFUSED, dump::REASON_CCM_REFUSED, rc);
}

void dumpCCMOperationLock::releaseCCMOperationLock() {
    dump::trace("releaseCCMOperationLock: allowing code maintenance for 0x%04X",
                DUMP_COMPONENT_ID);
    ErrlEntry* errl = ccmmAllowCcmFeatures(DUMP_COMPONENT_ID);
    if (!errl) {
        dump::trace("releaseCCMOperationLock: allowed");
        return;
    }
    uint32_t rc = errl->getRC();
    if (rc == CCMM_RC_ALREADY_PREVENTED || rc == CCMM_RC_NOT_PREVENTED) {
        dump::discard(errl);
    } else {
        dump::receivedAt(errl, ALLOW_REFUSED, dump::REASON_CCM_REFUSED, rc);
        dump::commit(errl);
    }
    dump::trace("releaseCCMOperationLock: manager answered rc 0x%08X", rc);
}
