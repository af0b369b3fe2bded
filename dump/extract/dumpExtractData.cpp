// The extraction driver: one ExtractDump call serves one range of a dump's
// offload stream under the extraction semaphore, and owns the policy for
// main-store read failures (count them in the summary; after persistent
// DMA-engine failures in the right state ask once for a checkstop IPL).
// The extraction semaphore is taken before the summary lock, never after.
#include "platdump/dumpExtractData.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpStatusLogger.h"
#include "platdump/dumpSummary.h"
#include "platform/bigEndian.h"
#include "platform/errlEntry.h"
#include "platform/smgr.h"
#include "platform/utilReg.h"
#include "platform/utilSemaphore.h"

using namespace dump;

namespace {

// Reporting points: the driver, the permission check, the checkstop-IPL
// request.
constexpr uint16_t kDriver = 0x0221;
constexpr uint16_t kPermission = 0x0121;
constexpr uint16_t kCheckstop = 0x0421;
constexpr Site kOffloadStart = {kDriver, 4};
constexpr Site kStreamEnded = {kDriver, 5};
constexpr Site kUnreachableMainStore = {kDriver, 7};
constexpr Site kSemaphoreInit = {kDriver, 0x10};
constexpr Site kSemaphoreDown = {kDriver, 0x11};
constexpr Site kSemaphoreUp = {kDriver, 0x12};
constexpr Site kOperatingModeUnreadable = {kDriver, 0x13};
constexpr Site kBlockReadFailed = {kDriver, 0x1F};
constexpr Site kSummaryUnavailable = {kDriver, 0x20};
constexpr Site kNotComplete = {kPermission, 1};
constexpr Site kStateUnreadable = {kPermission, 2};
constexpr Site kMainStoreNotPermitted = {kPermission, 3};
constexpr Site kIplRequestFailed = {kCheckstop, 8};
constexpr Site kIplRequestRefused = {kCheckstop, 9};

constexpr char kSemaphoreName[] = "dump";
constexpr uint8_t kExtractionKey = 3;
constexpr char kInvalidatedKey[] = "Dump invalidated while extracting, id:";

// Failed main-store reads of one dump tolerated before the driver acts.
constexpr unsigned kReadFailuresTolerated = 2;

// Operating modes and system states the driver tells apart.
constexpr uint8_t MODE_2 = 2;
constexpr uint8_t MODE_4 = 4;
constexpr uint32_t STATE_TCE = 9;
constexpr uint32_t STATE_ENGINE = 11;

// The checkstop-IPL request to the system manager and its acceptance.
constexpr uint32_t IPL_CHECKSTOP_REQUEST = 0x20000904;
constexpr uint32_t IPL_REPLY_ACCEPTED = 2;

constexpr char kOperatingModeKey[] = "iplp/SysOpMode";
constexpr char kStateKey[] = "smgr/StateData";

// Whether main store is read through host-granted DMA addresses (1) or
// straight by the engine (0), for every DumpExtractData of the process.
// Written and read only while the extraction semaphore is held.
uint8_t g_useTce = 0;

// The system state record "smgr/StateData": 56 bytes, of which the state
// code (bytes 0-3) and the main-store word (bytes 28-31, 0 when main
// store may be read) matter here.
struct SystemState {
    static constexpr uint32_t SIZE = 0x38;
    static constexpr size_t CODE = 0;
    static constexpr size_t MAIN_STORE_WORD = 28;

    uint32_t code = 0;
    uint32_t mainStoreWord = 0;

    // A record shorter than its size is taken as an unknown state in
    // which main store may not be read.
    static SystemState decode(const uint8_t* record, uint32_t length) {
        SystemState s;
        if (length < SIZE) {
            trace("ExtractDump: system state record of %u bytes", length);
            s.mainStoreWord = ~0u;
            return s;
        }
        s.code = be::getU32(record, CODE);
        s.mainStoreWord = be::getU32(record, MAIN_STORE_WORD);
        return s;
    }
};

// Main store may be read in operating mode 2, and in mode 4 where the
// dump's private flags allow it.
bool modeAllowsMainStore(uint8_t mode, DumpSummary& summary) {
    return mode == MODE_2 ||
           (mode == MODE_4 && (summary.GetPrivateFlags() & layout::names::mainstoreInMode4Flag));
}

// The summary could not be opened; a dump gone in the middle of an
// offload is told apart from one that never was.
ErrlEntry* summaryUnavailable(ErrlEntry* e, unsigned int id, unsigned long long offset) {
    passedAt(e, kSummaryUnavailable, id);
    if (e->getRC() != RC_SUMMARY_MISSING || offset == 0) return e;
    char value[16];
    std::snprintf(value, sizeof value, "0x%x", id);
    trace("ExtractDump: dump 0x%08X vanished at offset %llu", id, offset);
    withDetails(e, kInvalidatedKey, value);
    e->setRC(RC_DUMP_INVALIDATED);
    return e;
}

// A failed main-store read reported as main store unreachable: an entry
// that says so already stays; any other is committed and replaced.
ErrlEntry* asUnreachableMainStore(ErrlEntry* e) {
    const SrciSrc* src = e->getSRC(0);
    if (e->getRC() == RC_NOT_EXTRACTABLE && src && src->reasonCode() == REASON_MAIN_STORE)
        return e;
    commit(e);
    return errorAt(kUnreachableMainStore, RC_NOT_EXTRACTABLE, REASON_MAIN_STORE);
}

// The outcome of copying a range from a block list.
struct Walk {
    ErrlEntry* error = nullptr;
    const DumpDataBlock* failedBlock = nullptr;
    uint32_t inBlock = 0;      // where in failedBlock the read began
    uint64_t blockStart = 0;   // stream offset of the block where the walk ended
    uint64_t copied = 0;
};

// Copies [offset, offset + length) of the stream to buffer, block by
// block: the first block read from inside, the others from 0, the last cut
// short. A block that holds no wanted byte but starts after offset while
// bytes are still wanted is asked for 0 bytes.
Walk copyRange(const DumpList& list, uint64_t offset, uint32_t length, char* buffer,
               dumpDMAEhandle* handle) {
    Walk w;
    for (const DumpDataBlock* block : list) {
        uint32_t size = block->getSize();
        if (w.blockStart + size > offset) {
            uint32_t inBlock = offset > w.blockStart ? static_cast<uint32_t>(offset - w.blockStart) : 0;
            uint32_t n = static_cast<uint32_t>(
                std::min<uint64_t>(size - inBlock, length - w.copied));
            if (ErrlEntry* e = block->getData(inBlock, n, buffer + w.copied, handle)) {
                w.error = e;
                w.failedBlock = block;
                w.inBlock = inBlock;
                return w;
            }
            w.copied += n;
            if (w.copied == length) return w;
        }
        w.blockStart += size;
    }
    return w;
}

}  // namespace

DumpExtractData::DumpExtractData() { g_useTce = 0; }

DumpExtractData::~DumpExtractData() = default;

ErrlEntry* DumpExtractData::ExtractDump(unsigned int dumpId, unsigned long long offset,
                                        unsigned int& length, char* buffer, bool includeMainStore,
                                        dumpDMAEhandle* handle) {
    UtilSemaphore extraction(SEM_UNDO_FLAG_SETTING);
    if (offset == 0) commit(infoAt(kOffloadStart, RC_NONE, REASON_OFFLOAD_START, dumpId));
    trace("ExtractDump: dump 0x%08X offset %llu length %u main store %d", dumpId, offset, length,
          includeMainStore ? 1 : 0);
    ErrlEntry* e = extraction.init(kSemaphoreName, kExtractionKey, 1);
    if (e) {
        trace("ExtractDump: extraction semaphore unavailable");
        length = 0;
        return passedAt(asInformational(e), kSemaphoreInit);
    }
    if ((e = extraction.Down(1))) {
        trace("ExtractDump: extraction semaphore not taken");
        length = 0;
        return passedAt(asInformational(e), kSemaphoreDown);
    }
    e = extractHeld(dumpId, offset, length, buffer, includeMainStore, handle);
    if (ErrlEntry* up = extraction.Up(1)) {
        trace("ExtractDump: extraction semaphore not given back");
        commit(passedAt(up, kSemaphoreUp));
    }
    return e;
}

ErrlEntry* DumpExtractData::extractHeld(unsigned int dumpId, unsigned long long offset,
                                        unsigned int& length, char* buffer, bool includeMainStore,
                                        dumpDMAEhandle* handle) {
    ErrlEntry* e = nullptr;
    // The kind comes from the id alone: a resource dump's id names no
    // summary here and its open fails as a missing dump.
    DumpSummary summary(dumpId, e);
    if (e) {
        length = 0;
        return summaryUnavailable(e, dumpId, offset);
    }

    uint8_t mode = 0;
    uint32_t size = sizeof mode;
    if ((e = UtilReg::read(kOperatingModeKey, &mode, size, false))) {
        trace("ExtractDump: %s unreadable", kOperatingModeKey);
        length = 0;
        return receivedAt(e, kOperatingModeUnreadable, REASON_REGISTRY);
    }
    uint8_t record[SystemState::SIZE] = {0};
    size = sizeof record;
    if ((e = UtilReg::read(kStateKey, record, size, false))) {
        trace("ExtractDump: %s unreadable", kStateKey);
        length = 0;
        return receivedAt(e, kStateUnreadable, REASON_REGISTRY);
    }
    SystemState state = SystemState::decode(record, size);
    trace("ExtractDump: state %u, main-store word 0x%08X, operating mode %u", state.code,
          state.mainStoreWord, mode);
    if ((e = checkExtractPermitted(summary, mode, state.code, state.mainStoreWord))) {
        length = 0;
        return e;
    }

    std::unique_ptr<DumpList> list(summary.buildDumpList(g_useTce, includeMainStore));
    Walk w = copyRange(*list, offset, length, buffer, handle);
    if (w.error) {
        e = readFailed(w.error, *w.failedBlock, w.inBlock, summary, mode, state.code);
    } else if (length != 0 && w.copied < length) {
        trace("ExtractDump: stream of dump 0x%08X ends at %llu, %llu of %u bytes delivered",
              dumpId, static_cast<unsigned long long>(w.blockStart),
              static_cast<unsigned long long>(w.copied), length);
        e = errorAt(kStreamEnded, RC_NO_DATA, REASON_NO_DATA,
                    static_cast<uint32_t>(offset), static_cast<uint32_t>(w.blockStart), length);
    }
    length = static_cast<unsigned int>(w.copied);
    return e;
}

ErrlEntry* DumpExtractData::readFailed(ErrlEntry* e, const DumpDataBlock& block, uint32_t inBlock,
                                       DumpSummary& summary, uint8_t mode, uint32_t stateCode) {
    passedAt(e, kBlockReadFailed, inBlock);
    switch (block.getType()) {
        case DumpDataBlock::BLOCK_TCE: {
            unsigned int failures = summary.IncrementTCEErrorCount();
            if (failures > kReadFailuresTolerated)
                trace("ExtractDump: %u failed TCE reads of dump 0x%08X", failures,
                      summary.getDumpId());
            return asUnreachableMainStore(e);
        }
        case DumpDataBlock::BLOCK_DMAE: {
            unsigned int failures = summary.IncrementDMAErrorCount();
            if (failures > kReadFailuresTolerated && modeAllowsMainStore(mode, summary) &&
                requestCheckstopIpl(e, summary, stateCode) == 0) {
                e->CollectTrace("dump", 0);
                return e;
            }
            return asUnreachableMainStore(e);
        }
        default:
            e->CollectTrace("dump", 0);
            return e;
    }
}

ErrlEntry* DumpExtractData::checkExtractPermitted(DumpSummary& summary, uint8_t operatingMode,
                                                  uint32_t stateCode, uint32_t mainStoreWord) {
    unsigned int id = summary.getDumpId();
    uint16_t flags = summary.dumpFlagsAsRead();
    if (!(flags & layout::sum::dumpCompleteFlag)) {
        trace("ExtractDump: dump 0x%08X is not complete", id);
        return asInformational(infoAt(kNotComplete, RC_NOT_EXTRACTABLE, REASON_NOT_COMPLETE, id));
    }
    DumpSummary::typeOfSummary_t type = summary.GetSummaryType();
    if (type == DumpSummary::HWU) return nullptr;
    // ExtractDump opens dumps by id, and ids name system and hardware-unit
    // dumps only.
    // GCOVR_EXCL_START
    if (type != DumpSummary::SYS)
        trace("ExtractDump: error: dump 0x%08X of type %d checked as a system dump", id,
              static_cast<int>(type));
    // GCOVR_EXCL_STOP
    if (!(flags & layout::sum::mainstoreDumpExistsFlag)) return nullptr;
    if (stateCode == STATE_TCE && mainStoreWord == 0) {
        g_useTce = 1;
        return nullptr;
    }
    if (stateCode == STATE_ENGINE && mainStoreWord == 0 &&
        modeAllowsMainStore(operatingMode, summary)) {
        g_useTce = 0;
        return nullptr;
    }
    trace("ExtractDump: main store of dump 0x%08X unreachable in state %u mode %u", id, stateCode,
          operatingMode);
    return asInformational(
        infoAt(kMainStoreNotPermitted, RC_NOT_EXTRACTABLE, REASON_MAIN_STORE, id, flags));
}

int DumpExtractData::requestCheckstopIpl(ErrlEntry* entry, DumpSummary& summary,
                                         uint32_t stateCode) {
    enum { REPORT_ENTRY = 0, REPORT_UNREACHABLE = 1 };
    unsigned int id = summary.getDumpId();
    uint16_t flags = summary.getDumpFlags();
    if (flags & layout::sum::withdrawMainstoreFlag) {
        trace("ExtractDump: main store of dump 0x%08X withdrawn after failed reads", id);
        entry->setRC(RC_NO_DATA);
        entry->CollectTrace("dump", 0);
        summary.ClearMainstoreDumpExistFlag(layout::sum::memReadFailuresWithdrawnFlag);
        return REPORT_ENTRY;
    }
    if (flags & layout::sum::checkstopIplRequestedFlag) {
        trace("ExtractDump: checkstop IPL already requested for dump 0x%08X", id);
        return REPORT_UNREACHABLE;
    }
    if (stateCode != STATE_ENGINE) {
        trace("ExtractDump: no checkstop IPL in state %u", stateCode);
        return REPORT_UNREACHABLE;
    }
    uint32_t reply = 0;
    if (ErrlEntry* e = smgrIplTypeRequest(IPL_CHECKSTOP_REQUEST, DUMP_COMPONENT_ID, &reply)) {
        commit(receivedAt(e, kIplRequestFailed, REASON_IPL_REQUEST_FAILED, id));
        entry->setRC(RC_IPL_REQUEST_FAILED);
        trace("ExtractDump: checkstop IPL request for dump 0x%08X failed", id);
        return REPORT_ENTRY;
    }
    if (reply != IPL_REPLY_ACCEPTED) {
        receivedAt(entry, kIplRequestRefused, REASON_IPL_REQUEST_REFUSED, id, reply);
        trace("ExtractDump: checkstop IPL for dump 0x%08X refused: %u", id, reply);
        return REPORT_ENTRY;
    }
    DumpStatusLogger(id).setCheckstopIPLCalled();
    summary.setDumpFlagsByMask(layout::sum::checkstopIplRequestedFlag);
    trace("ExtractDump: checkstop IPL requested for dump 0x%08X", id);
    return REPORT_UNREACHABLE;
}
