// DumpSummary's getters and setters. A getter re-reads the region holding
// its field; a setter is one updateRegion: under the summary lock, re-read
// that region, change its field(s), write it back.
#include <cstring>

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpSummary.h"

using namespace dump;
using namespace dump::layout;
using Change = std::function<bool(uint8_t*)>;

namespace {

constexpr size_t kClientIdTraced = 31;
constexpr size_t kResourceNameTraced = 62;

Change assignU8(size_t off, uint8_t v) {
    return [=](uint8_t* r) { be::putU8(r, off, v); return true; };
}
Change assignU16(size_t off, uint16_t v) {
    return [=](uint8_t* r) { be::putU16(r, off, v); return true; };
}
Change assignU32(size_t off, uint32_t v) {
    return [=](uint8_t* r) { be::putU32(r, off, v); return true; };
}
Change assignU64(size_t off, uint64_t v) {
    return [=](uint8_t* r) { be::putU64(r, off, v); return true; };
}
Change assignBcd(size_t off, BCD_time8_t t) {
    return [=](uint8_t* r) { putBcd(r, off, t); return true; };
}
Change assignText(size_t off, size_t width, const std::string& s, size_t maxLength) {
    return [=](uint8_t* r) { putText(r, off, width, s.c_str(), maxLength); return true; };
}
Change setBits16(size_t off, uint16_t mask) {
    return [=](uint8_t* r) { orU16(r, off, mask); return true; };
}
Change clearBits16(size_t off, uint16_t mask) {
    return [=](uint8_t* r) { andNotU16(r, off, mask); return true; };
}
Change setBits64(size_t off, uint64_t mask) {
    return [=](uint8_t* r) { orU64(r, off, mask); return true; };
}
Change addU32(size_t off, uint32_t n) {
    return [=](uint8_t* r) { be::putU32(r, off, be::getU32(r, off) + n); return true; };
}
Change maskU32(size_t off, uint32_t set, uint32_t clear) {
    return [=](uint8_t* r) { be::putU32(r, off, (be::getU32(r, off) | set) & ~clear); return true; };
}

// Copies name into the slot at off when it differs from the stored one;
// true when it did.
bool replaceName(uint8_t* r, size_t off, const std::string& name) {
    std::string stored = getText(r, off, names::NAME_WIDTH);
    std::string next = name.substr(0, strnlen(name.c_str(), names::NAME_MAX_LENGTH));
    if (stored == next) return false;
    putText(r, off, names::NAME_WIDTH, next.c_str(), names::NAME_MAX_LENGTH);
    return true;
}

// A word of a region image, traced with what it is; the setters that
// report their new value return it.
uint32_t tracedWord(const uint8_t* r, size_t off, const char* what, unsigned int dumpId) {
    uint32_t v = be::getU32(r, off);
    trace("DumpSummary: %s of dump 0x%08X now 0x%08X", what, dumpId, v);
    return v;
}

void traceLongName(const char* what, const std::string& name, size_t limit) {
    if (name.size() > limit) trace("DumpSummary: %s name of %zu characters: %s", what, name.size(), name.c_str());
}

}  // namespace

// ---- Getters ----------------------------------------------------------------

unsigned long long DumpSummary::getTotalDumpSize() {
    return be::getU64(reread(SUMMARY_REGION), sum::TOTAL_DUMP_SIZE);
}
unsigned int DumpSummary::getSystemLogId() { return be::getU32(reread(SUMMARY_REGION), sum::SYSTEM_LOG_ID); }
unsigned short DumpSummary::getFileHeaderSize() {
    return be::getU16(reread(SUMMARY_REGION), sum::FILE_HEADER_SIZE_FIELD);
}
unsigned short DumpSummary::getDumpFlags() { return be::getU16(reread(SUMMARY_REGION), sum::DUMP_FLAGS); }
unsigned short DumpSummary::dumpFlagsAsRead() const { return be::getU16(iv_image.summary, sum::DUMP_FLAGS); }
unsigned short DumpSummary::getHWErrorFlags() {
    return be::getU16(reread(SUMMARY_REGION), sum::HW_ERROR_FLAGS);
}
unsigned long long DumpSummary::getMemoryDumpErrorFlags() {
    return be::getU64(reread(SUMMARY_REGION), sum::MEMORY_DUMP_ERROR_FLAGS);
}
unsigned int DumpSummary::getHWDumpTotalSize() {
    return be::getU32(reread(SUMMARY_REGION), sum::HW_DUMP_TOTAL_SIZE);
}
unsigned int DumpSummary::getMDRTTableSize() {
    return be::getU32(reread(SUMMARY_REGION), sum::MDRT_TABLE_SIZE);
}
unsigned long long DumpSummary::getMDRTAddress() {
    return be::getU64(reread(SUMMARY_REGION), sum::MDRT_ADDRESS);
}
unsigned long long DumpSummary::getMSDataSize() {
    return be::getU64(reread(SUMMARY_REGION), sum::MEMORY_DUMP_SIZE);
}
unsigned int DumpSummary::getContentType() { return be::getU32(reread(SUMMARY_REGION), sum::CONTENT_TYPE); }
unsigned int DumpSummary::getFailingUnitId() {
    return be::getU32(reread(SUMMARY_REGION), sum::FAILING_UNIT_ID);
}

unsigned int DumpSummary::GetPrivateFlags() {
    return tracedWord(reread(FILE_NAMES_REGION), names::PRIVATE_FLAGS, "private flags", iv_dumpId);
}

bool DumpSummary::getResourceDumpFileName(std::string& name) {
    const uint8_t* r = reread(FILE_NAMES_REGION);
    if (r[names::RESOURCE_DUMP_FILE_NAME] == 0) return false;
    name = getText(r, names::RESOURCE_DUMP_FILE_NAME, names::NAME_WIDTH);
    return true;
}

bool DumpSummary::getSummaryFileName(std::string& name) {
    name = getText(reread(FILE_NAMES_REGION), names::SUMMARY_FILE_NAME, names::NAME_WIDTH);
    return true;
}

// ---- Setters of the summary region ------------------------------------------

void DumpSummary::setPLId(unsigned int v) { updateRegion(SUMMARY_REGION, assignU32(sum::SYSTEM_LOG_ID, v)); }
void DumpSummary::setDumpSRCSize(unsigned int size) {
    updateRegion(SUMMARY_REGION, assignU16(sum::DUMP_SRC_SIZE, static_cast<uint16_t>(size)));
}
void DumpSummary::setDumpSRC(char* src, unsigned int length) {
    size_t n = length < sum::DUMP_SRC_WIDTH ? length : sum::DUMP_SRC_WIDTH;
    updateRegion(SUMMARY_REGION, [=](uint8_t* r) {
        if (src && n) std::memcpy(r + sum::DUMP_SRC, src, n);
        return true;
    });
}
void DumpSummary::setToolType(unsigned int v) { updateRegion(SUMMARY_REGION, assignU32(sum::TOOL_TYPE, v)); }
void DumpSummary::setClientId(char* clientId) {
    std::string id = clientId ? clientId : "";
    if (id.size() > kClientIdTraced) trace("DumpSummary: client id of %zu characters", id.size());
    updateRegion(SUMMARY_REGION, assignText(sum::CLIENT_ID, sum::CLIENT_ID_WIDTH, id, sum::CLIENT_ID_WIDTH));
}
void DumpSummary::setUserId(char* userId) {
    std::string id = userId ? userId : "";
    updateRegion(SUMMARY_REGION, assignText(sum::USER_ID, sum::USER_ID_WIDTH, id, sum::USER_ID_WIDTH));
}
void DumpSummary::setDumpFlags(unsigned short v) { updateRegion(SUMMARY_REGION, assignU16(sum::DUMP_FLAGS, v)); }
void DumpSummary::setDumpFlagsByMask(unsigned short mask) {
    updateRegion(SUMMARY_REGION, setBits16(sum::DUMP_FLAGS, mask));
}
void DumpSummary::setHardwareErrorFlags(unsigned short mask) {
    updateRegion(SUMMARY_REGION, setBits16(sum::HW_ERROR_FLAGS, mask));
}
void DumpSummary::clearHardwareErrorFlags(unsigned short mask) {
    updateRegion(SUMMARY_REGION, clearBits16(sum::HW_ERROR_FLAGS, mask));
}
void DumpSummary::setHardwareObjectModel(unsigned short model) {
    updateRegion(SUMMARY_REGION, assignU8(sum::HARDWARE_OBJECT_MODEL, static_cast<uint8_t>(model)));
}
void DumpSummary::setMemoryDumpErrorFlags(unsigned long long v) {
    updateRegion(SUMMARY_REGION, assignU64(sum::MEMORY_DUMP_ERROR_FLAGS, v));
}
void DumpSummary::setMemoryDumpErrorFlagsByMask(unsigned long long mask) {
    updateRegion(SUMMARY_REGION, setBits64(sum::MEMORY_DUMP_ERROR_FLAGS, mask));
}
void DumpSummary::setMemoryDumpStartTime(BCD_time8_t t) {
    updateRegion(SUMMARY_REGION, assignBcd(sum::MEMORY_DUMP_START_TIME, t));
}
void DumpSummary::setMemoryDumpCompletionTime(BCD_time8_t t) {
    updateRegion(SUMMARY_REGION, assignBcd(sum::MEMORY_DUMP_COMPLETION_TIME, t));
}
void DumpSummary::setHardwareCollectionStartTime(BCD_time8_t t) {
    updateRegion(SUMMARY_REGION, assignBcd(sum::HARDWARE_COLLECTION_START_TIME, t));
}
void DumpSummary::setHardwareCollectionEndTime(BCD_time8_t t) {
    updateRegion(SUMMARY_REGION, assignBcd(sum::HARDWARE_COLLECTION_END_TIME, t));
}
void DumpSummary::setHypMode(unsigned int mode) {
    updateRegion(SUMMARY_REGION, assignU8(sum::HYP_MODE, static_cast<uint8_t>(mode)));
}
void DumpSummary::setHardwareNodeCount(unsigned short count) {
    updateRegion(SUMMARY_REGION, assignU16(sum::HARDWARE_NODE_COUNT, count));
}
void DumpSummary::setMDRTTableSize(unsigned int size) {
    updateRegion(SUMMARY_REGION, assignU32(sum::MDRT_TABLE_SIZE, size));
}
void DumpSummary::setMDRTAddress(unsigned long long address) {
    updateRegion(SUMMARY_REGION, assignU64(sum::MDRT_ADDRESS, address));
}
void DumpSummary::setMemoryDumpSize(unsigned long long size) {
    updateRegion(SUMMARY_REGION, assignU64(sum::MEMORY_DUMP_SIZE, size));
}
void DumpSummary::setFailingUnitId(unsigned int unitId) {
    updateRegion(SUMMARY_REGION, assignU32(sum::FAILING_UNIT_ID, unitId));
}
void DumpSummary::setContent(unsigned int contentType) {
    updateRegion(SUMMARY_REGION, assignU32(sum::CONTENT_TYPE, contentType));
}

// ---- Setter of the file header region ---------------------------------------

void DumpSummary::setMainstorePriority(unsigned short priority) {
    updateRegion(FILE_HEADER_REGION,
                 assignU16(hdr::section(hdr::HYPERVISOR_SECTION) + hdr::SEC_PRIORITY, priority));
    trace("DumpSummary: main-store priority of dump 0x%08X now %u", iv_dumpId, priority);
}

// ---- Setters of the file names region ---------------------------------------

void DumpSummary::setNodalNames(const char* kind, size_t tocBase, size_t dataBase, unsigned int i,
                                const std::string& data, const std::string& toc) {
    if (i >= names::NODAL_SLOTS) {
        trace("DumpSummary: %s slot %u refused, dump 0x%08X", kind, i, iv_dumpId);
        return;
    }
    traceLongName(kind, toc, names::NAME_MAX_LENGTH - 1);
    traceLongName(kind, data, names::NAME_MAX_LENGTH - 1);
    updateRegion(FILE_NAMES_REGION, [&](uint8_t* r) {
        bool tocChanged = replaceName(r, names::nameSlot(tocBase, i), toc);
        bool dataChanged = replaceName(r, names::nameSlot(dataBase, i), data);
        return tocChanged || dataChanged;
    });
}

void DumpSummary::SetHWDATAFileNames(unsigned int i, std::string& data, std::string& toc) {
    setNodalNames("HWDATA", names::HW_TOC_FILE_NAME, names::HW_DATA_FILE_NAME, i, data, toc);
}
void DumpSummary::SetSPDATAFileNames(unsigned int i, std::string& data, std::string& toc) {
    setNodalNames("SPDATA", names::SP_TOC_FILE_NAME, names::SP_DATA_FILE_NAME, i, data, toc);
}
void DumpSummary::SetSYSDATAFileNames(std::string& data, std::string& toc) {
    setNodalNames("SYSDATA", names::SYS_TOC_FILE_NAME, names::SYS_DATA_FILE_NAME, 0, data, toc);
}

void DumpSummary::setTableFileName(size_t nameOffset, size_t sizeOffset, const std::string& name,
                                   unsigned int size) {
    updateRegion(FILE_NAMES_REGION, [&](uint8_t* r) {
        traceLongName("table file", name, names::NAME_MAX_LENGTH);
        putText(r, nameOffset, names::NAME_WIDTH, name.c_str(), names::NAME_MAX_LENGTH);
        be::putU32(r, sizeOffset, size);
        return true;
    });
    trace("DumpSummary: table file of dump 0x%08X: %s", iv_dumpId, name.c_str());
}

void DumpSummary::setMDRTFileName(std::string& name, unsigned int size) {
    setTableFileName(names::MDRT_FILE_NAME, names::MDRT_FILE_SIZE, name, size);
}
void DumpSummary::setMDSTFileName(std::string& name, unsigned int size) {
    setTableFileName(names::MDST_FILE_NAME, names::MDST_FILE_SIZE, name, size);
}

void DumpSummary::setResourceDumpFileName(std::string& name) {
    traceLongName("resource dump file", name, kResourceNameTraced);
    updateRegion(FILE_NAMES_REGION, assignText(names::RESOURCE_DUMP_FILE_NAME, names::NAME_WIDTH,
                                               name, names::NAME_MAX_LENGTH));
}

void DumpSummary::SetTotalHDCTItemCount(unsigned int count) {
    updateRegion(FILE_NAMES_REGION, assignU32(names::TOTAL_HDCT_ITEM_COUNT, count));
}
void DumpSummary::IncrementFinishedHDCTItemCount() {
    updateRegion(FILE_NAMES_REGION, addU32(names::FINISHED_HDCT_ITEM_COUNT, 1));
}

unsigned int DumpSummary::IncrementTCEErrorCount() {
    updateRegion(FILE_NAMES_REGION, addU32(names::TCE_ERROR_COUNT, 1));
    return tracedWord(iv_image.fileNames, names::TCE_ERROR_COUNT, "TCE error count", iv_dumpId);
}
unsigned int DumpSummary::IncrementDMAErrorCount() {
    updateRegion(FILE_NAMES_REGION, addU32(names::DMA_ERROR_COUNT, 1));
    return tracedWord(iv_image.fileNames, names::DMA_ERROR_COUNT, "DMA error count", iv_dumpId);
}
unsigned int DumpSummary::SetPrivateFlagsByMask(unsigned int mask) {
    trace("DumpSummary: set private flags 0x%08X", mask);
    updateRegion(FILE_NAMES_REGION, maskU32(names::PRIVATE_FLAGS, mask, 0));
    return tracedWord(iv_image.fileNames, names::PRIVATE_FLAGS, "private flags", iv_dumpId);
}
unsigned int DumpSummary::ClearPrivateFlagsByMask(unsigned int mask) {
    trace("DumpSummary: clear private flags 0x%08X", mask);
    updateRegion(FILE_NAMES_REGION, maskU32(names::PRIVATE_FLAGS, 0, mask));
    return tracedWord(iv_image.fileNames, names::PRIVATE_FLAGS, "private flags", iv_dumpId);
}
