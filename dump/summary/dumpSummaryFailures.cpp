// Marking failed collections in the summary: main store, hardware or
// system, and main-store data withdrawn from a dump that had it. Each is
// one hold of the summary lock from the re-read to the write; nothing is
// reported to the caller.
#include <cstring>
#include <string>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryLockHold.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr Site kHwSysFailed{0x0B13, 7};

}  // namespace

void DumpSummary::mainstoreCollectionFailed(unsigned long long errorFlags) {
    updateRegion(SUMMARY_REGION, [&](uint8_t* r) {
        uint16_t flags = be::getU16(r, sum::DUMP_FLAGS);
        if (!(flags & sum::mainstoreCollectionFlag))
            trace("DumpSummary: dump 0x%08X has no main-store collection", iv_dumpId);
        if (flags & sum::mainstoreDumpExistsFlag) trace("DumpSummary: dump 0x%08X has main-store data", iv_dumpId);
        if (be::getU64(r, sum::MEMORY_DUMP_SIZE) != 0)
            trace("DumpSummary: dump 0x%08X has a main-store size", iv_dumpId);
        orU64(r, sum::MEMORY_DUMP_ERROR_FLAGS, errorFlags);
        orU16(r, sum::DUMP_FLAGS, sum::mainstoreCollectionFailedFlag);
        be::putU32(r, sum::MDRT_TABLE_SIZE, 0);
        return true;
    });
    trace("DumpSummary: main-store error flags of dump 0x%08X now 0x%016llX", iv_dumpId,
          static_cast<unsigned long long>(be::getU64(iv_image.summary, sum::MEMORY_DUMP_ERROR_FLAGS)));
}

void DumpSummary::hwSysCollectionFailed(unsigned int errorFlags) {
    const uint16_t mask = static_cast<uint16_t>(errorFlags);
    uint16_t before = 0;
    updateRegion(SUMMARY_REGION, [&](uint8_t* r) {
        before = be::getU16(r, sum::HW_ERROR_FLAGS);
        orU16(r, sum::HW_ERROR_FLAGS, mask);
        orU16(r, sum::DUMP_FLAGS, sum::hwSysCollectionFailedFlag);
        return true;
    });
    if ((mask & sum::hwLoggedErrorFlag) && !(before & sum::hwLoggedErrorFlag)) {
        trace("DumpSummary: hardware collection of dump 0x%08X failed", iv_dumpId);
        commit(errorAt(kHwSysFailed, RC_HW_SYS_FAILED, REASON_HW_SYS_FAILED));
    }
    trace("DumpSummary: hardware error flags of dump 0x%08X now 0x%04X", iv_dumpId,
          be::getU16(iv_image.summary, sum::HW_ERROR_FLAGS));
}

void DumpSummary::ClearMainstoreDumpExistFlag(unsigned long long errorFlags) {
    SummaryLockHold hold(*this);
    uint8_t* s = image(SUMMARY_REGION);
    readRegion(SUMMARY_REGION);
    if (!(be::getU16(s, sum::DUMP_FLAGS) & sum::mainstoreDumpExistsFlag)) {
        trace("DumpSummary: dump 0x%08X has no main-store data to withdraw", iv_dumpId);
        return;
    }
    orU64(s, sum::MEMORY_DUMP_ERROR_FLAGS, errorFlags | sum::memMainstoreWithdrawnFlag);
    andNotU16(s, sum::DUMP_FLAGS, sum::mainstoreDumpExistsFlag);
    orU16(s, sum::DUMP_FLAGS, sum::mainstoreCollectionFailedFlag);
    be::putU64(s, sum::MEMORY_DUMP_SIZE, 0);
    be::putU32(s, sum::MDRT_TABLE_SIZE, 0);
    writeRegion(SUMMARY_REGION);

    uint8_t* n = image(FILE_NAMES_REGION);
    readRegion(FILE_NAMES_REGION);
    std::string mdrt = getText(n, names::MDRT_FILE_NAME, names::NAME_WIDTH);
    if (mdrt.empty())
        trace("DumpSummary: dump 0x%08X names no MDRT file", iv_dumpId);
    else
        commit(DumpUtilFile::remove(mdrt.c_str()));
    be::putU32(n, names::MDRT_FILE_SIZE, 0);
    std::memset(n + names::MDRT_FILE_NAME, 0, names::NAME_WIDTH);
    writeRegion(FILE_NAMES_REGION);
    trace("DumpSummary: main-store data of dump 0x%08X withdrawn", iv_dumpId);
}
