// What display and offload applications read of a dump: the _dumpstate
// record, the progress percentages, the completion test, the list of the
// dump's intermediate files and the client record. Every operation here
// re-reads the regions it uses, takes no lock and changes nothing in the
// file.
#include <cstring>
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryNodalFiles.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpState.h"
#include "platdump/dumpSummary.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr uint32_t kStateRecordSize = sizeof(_dumpstate);
constexpr unsigned kDone = 100;
// A dump with a main-store phase: the hardware items make up the first 60
// percent, a private step (names::privateStepDoneFlag) brings it to 80.
constexpr unsigned kHardwareShare = 60;
constexpr unsigned kAfterPrivateStep = 80;

// The text of a summary field of width bytes into a record field of
// width + 1 bytes (or of width bytes, where a full text has no NUL).
void copyText(char* to, size_t toWidth, const uint8_t* summary, size_t off, size_t width) {
    std::string text = getText(summary, off, width);
    putText(reinterpret_cast<uint8_t*>(to), 0, toWidth, text.c_str(), width < toWidth ? width : toWidth);
}

}  // namespace

bool DumpSummary::PopulateDumpState(_dumpstate* record) {
    if (!record) {
        trace("DumpSummary: no state record for dump 0x%08X", iv_dumpId);
        return false;
    }
    if (ReadSummary() == 0 || ReadFileHeader() == 0) {
        trace("DumpSummary: summary of dump 0x%08X unreadable, no state", iv_dumpId);
        return false;
    }
    // Nothing is ever written beyond the size the caller declares, and a
    // partial record would look whole: a short one is refused.
    if (record->size < kStateRecordSize) {
        trace("DumpSummary: state record of %u bytes refused, %u needed", record->size, kStateRecordSize);
        return false;
    }
    const uint8_t* s = iv_image.summary;
    const uint16_t flags = be::getU16(s, sum::DUMP_FLAGS);
    const uint64_t dumpSize = (flags & sum::dumpCompleteFlag)
                                  ? be::getU64(s, sum::TOTAL_DUMP_SIZE) + be::getU16(s, sum::FILE_HEADER_SIZE_FIELD)
                                  : 0;
    record->dumpId = iv_dumpId;
    copyText(record->dumpFileName, sizeof record->dumpFileName, iv_image.fileHeader, hdr::DUMP_FILE_NAME,
             hdr::DUMP_FILE_NAME_WIDTH);
    record->summaryType = static_cast<uint32_t>(iv_summaryType);
    record->dumpFlags = flags;
    record->contentType = be::getU32(s, sum::CONTENT_TYPE);
    record->memoryDumpErrorFlags.set(be::getU64(s, sum::MEMORY_DUMP_ERROR_FLAGS));
    record->hwErrorFlags = be::getU16(s, sum::HW_ERROR_FLAGS);
    record->dataSize = nodalDataBytes();
    record->dumpSize.set(dumpSize);
    record->progress = GetDumpProgress();
    return true;
}

uint32_t DumpSummary::nodalDataBytes() {
    const uint8_t* s = reread(SUMMARY_REGION);
    if (be::getU16(s, sum::DUMP_FLAGS) & sum::dumpCompleteFlag) return be::getU32(s, sum::NODAL_DATA_SIZE);
    const uint8_t* n = reread(FILE_NAMES_REGION);
    uint32_t total = 0;
    for (const NodalSlot& slot : kNodalSlots) {
        if (!slot.data) continue;
        const SlotName name = slotName(n, slot);
        if (!name.empty()) total += measuredSize(name.text);
    }
    return total;
}

unsigned int DumpSummary::GetHardwareDumpProgress() {
    const uint16_t flags = be::getU16(reread(SUMMARY_REGION), sum::DUMP_FLAGS);
    const uint8_t* n = reread(FILE_NAMES_REGION);
    if (flags & (sum::dumpCompleteFlag | sum::hardwareCollectionDoneFlag)) return kDone;
    const uint32_t finished = be::getU32(n, names::FINISHED_HDCT_ITEM_COUNT);
    const uint32_t total = be::getU32(n, names::TOTAL_HDCT_ITEM_COUNT);
    if (finished > total) trace("DumpSummary: dump 0x%08X finished %u of %u items", iv_dumpId, finished, total);
    if (total == 0) {
        trace("DumpSummary: dump 0x%08X has no item total yet", iv_dumpId);
        return 0;
    }
    // Rounded to the nearest percent, halves up, in 32-bit arithmetic.
    return (finished * 1000u / total + 5u) / 10u;
}

unsigned int DumpSummary::GetDumpProgress() {
    const unsigned hardware = GetHardwareDumpProgress();
    const uint16_t flags = be::getU16(iv_image.summary, sum::DUMP_FLAGS);  // as just re-read
    if (flags & sum::dumpCompleteFlag) return kDone;
    if (!(flags & sum::mainstoreCollectionFlag)) return hardware;
    if (hardware < kDone) return hardware * kHardwareShare / 100;
    const bool privateStepDone = be::getU32(iv_image.fileNames, names::PRIVATE_FLAGS) & names::privateStepDoneFlag;
    return privateStepDone ? kAfterPrivateStep : kHardwareShare;
}

bool DumpSummary::isDumpComplete() {
    bool complete = be::getU16(reread(SUMMARY_REGION), sum::DUMP_FLAGS) & sum::dumpCompleteFlag;
    trace("DumpSummary: dump 0x%08X %s", iv_dumpId, complete ? "complete" : "not complete");
    return complete;
}

bool DumpSummary::getIntermediateFileNames(std::vector<std::string>& list) {
    const uint8_t* n = reread(FILE_NAMES_REGION);
    auto append = [&](size_t off) {
        std::string name = getText(n, off, names::NAME_WIDTH);
        if (!name.empty()) list.push_back(name);
    };
    for (unsigned i = 0; i < names::NODAL_SLOTS; ++i) {
        append(names::nameSlot(names::HW_TOC_FILE_NAME, i));
        append(names::nameSlot(names::HW_DATA_FILE_NAME, i));
        append(names::nameSlot(names::SP_TOC_FILE_NAME, i));
        append(names::nameSlot(names::SP_DATA_FILE_NAME, i));
    }
    for (size_t off : {names::SYS_TOC_FILE_NAME, names::SYS_DATA_FILE_NAME, names::MDRT_FILE_NAME,
                       names::RESOURCE_DUMP_FILE_NAME})
        append(off);
    return !list.empty();
}

DumpClientRecord_t* DumpSummary::GetDumpClientRecord() {
    iv_clientRecord = DumpClientRecord_t();
    const uint8_t* s = reread(SUMMARY_REGION);
    iv_clientRecord.toolType = be::getU32(s, sum::TOOL_TYPE);
    copyText(iv_clientRecord.userId, sizeof iv_clientRecord.userId, s, sum::USER_ID, sum::USER_ID_WIDTH);
    copyText(iv_clientRecord.clientId, sizeof iv_clientRecord.clientId, s, sum::CLIENT_ID, sum::CLIENT_ID_WIDTH);
    return &iv_clientRecord;
}
