// The nine exported error-log helpers.
#include "platdump/dumpErrl.h"

#include "dump/support/codes.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpTypes.h"

namespace {

constexpr srciType kSrcType = SRCI_TYPE_FSP;  // 0xB1
constexpr srciSrcFormats kSrcFormat = SRCI_FORMAT_F0;
constexpr uint16_t kKeepReturnCodeReason = 0xBAF7;

uint8_t fileNumberOf(uint16_t moduleId) { return static_cast<uint8_t>(moduleId & 0xFF); }

// Procedure 3 for the return codes that point at the service processor's
// code, procedure 4 for every other.
epubProcedureID procedureFor(uint32_t rc) {
    switch (rc) {
        case 3: case 4: case 6: case 7: case 8: case 9: case 10: case 20:
            return EPUB_PRC_SP_CODE;
        default:
            return EPUB_PRC_FIRMWARE;
    }
}

ErrlEntry* createLog(bool error, uint32_t rc, uint16_t reason, uint16_t moduleId, uint8_t loc,
                     uint32_t w1, uint32_t w2, uint32_t w3) {
    uint32_t location = dumpCreateUniqueLocation(reason, moduleId, loc);
    dump::trace("%s log: location 0x%08X reason 0x%04X rc 0x%X", error ? "error" : "info",
                location, reason, rc);
    ErrlEntry* e = new ErrlEntry(
        DUMP_COMPONENT_ID, error ? ERRL_SEV_PREDICTIVE : ERRL_SEV_INFORMATIONAL,
        error ? ERRL_ETYPE_NOT_APPLICABLE : ERRL_ETYPE_MISCELLANEOUS, kSrcType, 0,
        fileNumberOf(moduleId), error ? SVC_DUMP_FAILURE : SVC_DUMP_INFO, reason, location, w1,
        w2, w3, error ? EPUB_UNKNOWN : EPUB_FIRMWARE_SP, SRCI_TERM_STATE_NONE, kSrcFormat);
    e->setRC(rc);
    dump::trace("log plid 0x%08X eid 0x%08X", e->plid(), e->eid());
    if (error) {
        e->addProcedureCallout(SRCI_PRIORITY_LOW, procedureFor(rc));
        dumpAddTracePoints(e);
    }
    return e;
}

}  // namespace

extern "C" {

ErrlEntry* dumpCreateErrorLog(uint32_t rc, uint16_t reason, uint16_t moduleId, uint8_t loc,
                              uint32_t w1, uint32_t w2, uint32_t w3) {
    return createLog(true, rc, reason, moduleId, loc, w1, w2, w3);
}

ErrlEntry* dumpCreateInfoLog(uint32_t rc, uint16_t reason, uint16_t moduleId, uint8_t loc,
                             uint32_t w1, uint32_t w2, uint32_t w3) {
    return createLog(false, rc, reason, moduleId, loc, w1, w2, w3);
}

ErrlEntry* dumpCreateCtrmLog(uint32_t rc, uint16_t reason, uint16_t moduleId, uint8_t loc,
                             const SrciSrc& src) {
    dump::trace("ctrm log: location 0x%08X reason 0x%04X rc 0x%X",
                dumpCreateUniqueLocation(reason, moduleId, loc), reason, rc);
    ErrlEntry* e = new ErrlEntry(DUMP_COMPONENT_ID, ERRL_SEV_UNRECOVERABLE,
                                 ERRL_ETYPE_NOT_APPLICABLE, src);
    e->setRC(rc);
    dump::trace("log plid 0x%08X eid 0x%08X", e->plid(), e->eid());
    dumpAddFunctionCallPoint(e, moduleId, loc, reason);
    return e;
}

void addToReceivedError(ErrlEntry* e, uint16_t reason, uint16_t moduleId, uint8_t loc,
                        uint32_t w1, uint32_t w2, uint32_t w3) {
    uint32_t location = dumpCreateUniqueLocation(reason, moduleId, loc);
    dump::trace("received log: location 0x%08X reason 0x%04X", location, reason);
    if (!e) return;
    e->addSRC(DUMP_COMPONENT_ID, kSrcType, 0, fileNumberOf(moduleId), SVC_DUMP_INFO, reason,
              location, w1, w2, w3, EPUB_FIRMWARE_SP);
    const SrciSrc* primary = e->getSRC(0);
    if (!primary || primary->reasonCode() != kKeepReturnCodeReason) e->setRC(dump::RC_PLATFORM);
    dump::trace("received log plid 0x%08X eid 0x%08X rc 0x%X", e->plid(), e->eid(), e->getRC());
}

void dumpAddFunctionCallPoint(ErrlEntry* e, uint16_t moduleId, uint8_t loc, uint32_t word) {
    if (!e) return;
    e->addSwErr(DUMP_COMPONENT_ID, static_cast<uint16_t>(moduleId & 0xFF00),
                fileNumberOf(moduleId), loc, word);
}

void dumpAddDetails(const util::ErrlUsrDataCreator& section, ErrlEntry* e) {
    section.addToLog(e);
}

void dumpAddTracePoints(ErrlEntry* e) {
    if (e) e->CollectTrace("dump", 0);
}

void dumpCommitAndFreeLog(ErrlEntry*& e) {
    if (!e) return;
    dump::trace("commit log plid 0x%08X eid 0x%08X", e->plid(), e->eid());
    e->commit(DUMP_COMPONENT_ID, 0x2000, ERRL_SEV_ENTRY_DEFAULT, ERRL_ETYPE_NOT_APPLICABLE);
    delete e;  // GCOVR_EXCL_BR_LINE: delete's own test for null; e is not null here
    e = nullptr;
}

uint32_t dumpCreateUniqueLocation(uint16_t reason, uint16_t moduleId, uint8_t loc) {
    return (static_cast<uint32_t>(moduleId) << 16) | (static_cast<uint32_t>(reason & 0xFF) << 8) |
           loc;
}

}  // extern "C"
