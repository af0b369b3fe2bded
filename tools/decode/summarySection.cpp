#include "summarySection.h"

#include "record.h"

namespace decode {

namespace {

struct FlagName {
    uint16_t bit;
    const char* name;
};
const FlagName kFlagNames[] = {
    {kDumpCompleteFlag, "dumpCompleteFlag"},
    {kHardwareCollectionDoneFlag, "hardwareCollectionDoneFlag"},
    {kMainstoreDumpExistsFlag, "mainstoreDumpExistsFlag"},
    {kHwSysCollectionFailedFlag, "hwSysCollectionFailedFlag"},
    {kMainstoreCollectionFailedFlag, "mainstoreCollectionFailedFlag"},
    {kMainstoreCollectionFlag, "mainstoreCollectionFlag"},
    {kCheckstopIplRequestedFlag, "checkstopIplRequestedFlag"},
};

struct Reserved {
    size_t offset;
    size_t width;
};
// The reserved ranges of the section: zero in every summary written.
const Reserved kReserved[] = {{516, 2}, {519, 1}, {552, 2}, {556, 2}, {560, 4}, {616, 8}, {648, 376}};

BcdTime timeField(const Record& rec, size_t rel, const char* field, Findings& findings) {
    std::vector<uint8_t> raw = rec.bytes(rel, 8);
    BcdTime t = decodeBcdTime(raw.data());
    if (t.set && !t.valid) findings.notice(rec.at(rel), std::string(field) + " is not a valid BCD time: " + t.text);
    return t;
}

void checkReserved(const Record& rec, Findings& findings) {
    for (const Reserved& r : kReserved) {
        std::vector<uint8_t> bytes = rec.bytes(r.offset, r.width);
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == 0) continue;
            findings.notice(rec.at(r.offset + i), "reserved summary byte is " + hex(bytes[i], 2) + ", not 0");
            break;
        }
    }
}

}  // namespace

std::vector<std::string> dumpFlagNames(uint16_t flags) {
    std::vector<std::string> names;
    for (uint16_t bit = 0x8000; bit != 0; bit >>= 1) {
        if (!(flags & bit)) continue;
        std::string name = hex(bit, 4);
        for (const FlagName& f : kFlagNames)
            if (f.bit == bit) name = f.name;
        names.push_back(name);
    }
    return names;
}

bool decodeSummary(const StreamSource& source, uint64_t offset, SummarySection& s, Findings& findings) {
    using namespace summary;
    Record rec;
    if (!rec.load(source, offset, kLength, "the summary section", findings)) return false;
    s.offset = offset;
    s.summaryEyeCatcher = rec.text(kEyeCatcher, kSummaryEyeCatcherLength);
    const DumpKindInfo* kind = kindByEyeCatcher(rec.bytes(kEyeCatcher, kSummaryEyeCatcherLength).data());
    s.kind = kind ? kind->kind : DumpKind::Unknown;
    s.dumpCreationTime = timeField(rec, kDumpCreationTime, "dumpCreationTime", findings);
    s.summaryDumpId = rec.u32(kDumpId);
    s.summaryVersion = rec.u16(kVersion);
    s.summaryLength = rec.u16(kSummaryLength);
    s.totalDumpSize = rec.u64(kTotalDumpSize);
    s.machineTypeModelInfo = rec.text(kMachineTypeModelInfo, kMachineTypeModelInfoWidth);
    s.systemName = rec.text(kSystemName, kSystemNameWidth);
    s.machineSerialNumber = rec.text(kMachineSerialNumber, kMachineSerialNumberWidth);
    s.creationFlag = rec.u8(kCreationFlag);
    s.systemLogId = rec.u32(kSystemLogId);
    s.fileHeaderSize = rec.u16(kFileHeaderSize);
    s.dumpSrcSize = rec.u16(kDumpSrcSize);
    s.dumpSrc = rec.bytes(kDumpSrc, s.dumpSrcSize < kDumpSrcWidth ? s.dumpSrcSize : kDumpSrcWidth);
    s.toolType = rec.u32(kToolType);
    s.clientId = rec.text(kClientId, kClientIdWidth);
    s.userId = rec.text(kUserId, kUserIdWidth);
    s.dumpFlags = rec.u16(kDumpFlags);
    s.dumpFlagNames = dumpFlagNames(s.dumpFlags);
    s.hwErrorFlags = rec.u16(kHwErrorFlags);
    s.hardwareObjectModel = rec.u8(kHardwareObjectModel);
    s.memoryDumpErrorFlags = rec.u64(kMemoryDumpErrorFlags);
    s.memoryDumpStartTime = timeField(rec, kMemoryDumpStartTime, "memoryDumpStartTime", findings);
    s.memoryDumpCompletionTime = timeField(rec, kMemoryDumpCompletionTime, "memoryDumpCompletionTime", findings);
    s.voskInfoData = rec.bytes(kVoskInfoData, kVoskInfoDataWidth);
    s.hypMode = rec.u8(kHypMode);
    s.voskDumpContent = rec.u8(kVoskDumpContent);
    s.hardwareNodeCount = rec.u16(kHardwareNodeCount);
    s.nodalDataSize = rec.u32(kNodalDataSize);
    s.hwDumpTotalSize = rec.u32(kHwDumpTotalSize);
    s.mdrtTableSize = rec.u32(kMdrtTableSize);
    s.mdrtAddress = rec.u64(kMdrtAddress);
    s.memoryDumpSize = rec.u64(kMemoryDumpSize);
    s.voskInfoTime = timeField(rec, kVoskInfoTime, "voskInfoTime", findings);
    s.hardwareCollectionEndTime = timeField(rec, kHardwareCollectionEndTime, "hardwareCollectionEndTime", findings);
    s.contentType = rec.u32(kContentType);
    s.failingUnitId = rec.u32(kFailingUnitId);
    s.voskHrmor = rec.bytes(kVoskHrmor, kVoskHrmorWidth);
    s.voskInfoWords = rec.bytes(kVoskInfoWords, kVoskInfoWordsWidth);
    s.hardwareCollectionStartTime =
        timeField(rec, kHardwareCollectionStartTime, "hardwareCollectionStartTime", findings);

    if (!kind)
        findings.error(rec.at(kEyeCatcher),
                       "summaryEyeCatcher is \"" + s.summaryEyeCatcher + "\", none of SYS DUMP, HWU DUMP, RSC DUMP");
    expectValue(findings, rec, kVersion, "summaryVersion", s.summaryVersion, kExpectedVersion);
    expectValue(findings, rec, kSummaryLength, "summaryLength", s.summaryLength, kLength);
    expectValue(findings, rec, kCreationFlag, "creationFlag", s.creationFlag, kExpectedCreationFlag);
    checkReserved(rec, findings);
    return true;
}

}  // namespace decode
