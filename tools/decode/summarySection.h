// The 1024-byte summary section that follows the dump file header: every
// field decoded under its own name, times as dates, dumpFlags as names.
// Offsets below are relative to the start of the section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bcdTime.h"
#include "dumpKind.h"
#include "findings.h"
#include "streamSource.h"

namespace decode {

namespace summary {
constexpr size_t kLength = 1024;
constexpr size_t kEyeCatcher = 0;  // 8 characters
constexpr size_t kDumpCreationTime = 8;
constexpr size_t kDumpId = 16;
constexpr size_t kVersion = 20;
constexpr size_t kSummaryLength = 22;
constexpr size_t kTotalDumpSize = 24;
constexpr size_t kMachineTypeModelInfo = 32, kMachineTypeModelInfoWidth = 32;
constexpr size_t kSystemName = 64, kSystemNameWidth = 32;
constexpr size_t kMachineSerialNumber = 96, kMachineSerialNumberWidth = 7;
constexpr size_t kCreationFlag = 103;
constexpr size_t kSystemLogId = 104;
constexpr size_t kFileHeaderSize = 108;
constexpr size_t kDumpSrcSize = 110;
constexpr size_t kDumpSrc = 112, kDumpSrcWidth = 332;
constexpr size_t kToolType = 444;
constexpr size_t kClientId = 448, kClientIdWidth = 32;
constexpr size_t kUserId = 480, kUserIdWidth = 32;
constexpr size_t kDumpFlags = 512;
constexpr size_t kHwErrorFlags = 514;
constexpr size_t kHardwareObjectModel = 518;
constexpr size_t kMemoryDumpErrorFlags = 520;
constexpr size_t kMemoryDumpStartTime = 528;
constexpr size_t kMemoryDumpCompletionTime = 536;
constexpr size_t kVoskInfoData = 544, kVoskInfoDataWidth = 8;
constexpr size_t kHypMode = 554;
constexpr size_t kVoskDumpContent = 555;
constexpr size_t kHardwareNodeCount = 558;
constexpr size_t kNodalDataSize = 564;
constexpr size_t kHwDumpTotalSize = 568;
constexpr size_t kMdrtTableSize = 572;
constexpr size_t kMdrtAddress = 576;
constexpr size_t kMemoryDumpSize = 584;
constexpr size_t kVoskInfoTime = 592;
constexpr size_t kHardwareCollectionEndTime = 600;
constexpr size_t kContentType = 608;
constexpr size_t kFailingUnitId = 612;
constexpr size_t kVoskHrmor = 624, kVoskHrmorWidth = 8;
constexpr size_t kVoskInfoWords = 632, kVoskInfoWordsWidth = 8;
constexpr size_t kHardwareCollectionStartTime = 640;
constexpr uint16_t kExpectedVersion = 0x0221;
constexpr uint8_t kExpectedCreationFlag = 1;
}  // namespace summary

// dumpFlags bits that have a name.
constexpr uint16_t kDumpCompleteFlag = 0x8000;
constexpr uint16_t kHardwareCollectionDoneFlag = 0x4000;
constexpr uint16_t kMainstoreDumpExistsFlag = 0x2000;
constexpr uint16_t kHwSysCollectionFailedFlag = 0x1000;
constexpr uint16_t kMainstoreCollectionFailedFlag = 0x0800;
constexpr uint16_t kMainstoreCollectionFlag = 0x0200;
constexpr uint16_t kCheckstopIplRequestedFlag = 0x0020;

// The names of the bits set in flags, highest bit first; a set bit without
// a name appears as its value ("0x0080").
std::vector<std::string> dumpFlagNames(uint16_t flags);

struct SummarySection {
    uint64_t offset = 0;  // of the section in the stream
    std::string summaryEyeCatcher;
    DumpKind kind = DumpKind::Unknown;  // by the eye-catcher
    BcdTime dumpCreationTime;
    uint32_t summaryDumpId = 0;
    uint16_t summaryVersion = 0;
    uint16_t summaryLength = 0;
    uint64_t totalDumpSize = 0;
    std::string machineTypeModelInfo;
    std::string systemName;
    std::string machineSerialNumber;
    uint8_t creationFlag = 0;
    uint32_t systemLogId = 0;
    uint16_t fileHeaderSize = 0;
    uint16_t dumpSrcSize = 0;
    std::vector<uint8_t> dumpSrc;  // the bytes dumpSrcSize covers, at most 332
    uint32_t toolType = 0;
    std::string clientId;
    std::string userId;
    uint16_t dumpFlags = 0;
    std::vector<std::string> dumpFlagNames;
    uint16_t hwErrorFlags = 0;
    uint8_t hardwareObjectModel = 0;
    uint64_t memoryDumpErrorFlags = 0;
    BcdTime memoryDumpStartTime;
    BcdTime memoryDumpCompletionTime;
    std::vector<uint8_t> voskInfoData;
    uint8_t hypMode = 0;
    uint8_t voskDumpContent = 0;
    uint16_t hardwareNodeCount = 0;
    uint32_t nodalDataSize = 0;
    uint32_t hwDumpTotalSize = 0;
    uint32_t mdrtTableSize = 0;
    uint64_t mdrtAddress = 0;
    uint64_t memoryDumpSize = 0;
    BcdTime voskInfoTime;
    BcdTime hardwareCollectionEndTime;
    uint32_t contentType = 0;
    uint32_t failingUnitId = 0;
    std::vector<uint8_t> voskHrmor;
    std::vector<uint8_t> voskInfoWords;
    BcdTime hardwareCollectionStartTime;

    // Stream offset of a field (rel: one of summary::k...).
    uint64_t at(size_t rel) const { return offset + rel; }
};

// Decodes the section at offset and checks what it holds on its own
// (eye-catcher, version, length, creation flag, dates, reserved bytes).
// False when the stream ends before the whole section.
bool decodeSummary(const StreamSource& source, uint64_t offset, SummarySection& out, Findings& findings);

}  // namespace decode
