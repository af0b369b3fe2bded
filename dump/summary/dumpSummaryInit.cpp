// Filling a new dump's file header and summary images from its kind, id,
// serial number and creation time, the registry and the Vosk info file.
// No failure here stops the creation: each is committed and a stated
// substitute is stored.
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/rtim.h"
#include "platform/utilReg.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr uint16_t kInitSummary = 0x0813;
constexpr Site kTypeModel{kInitSummary, 16};
constexpr Site kSystemNameSize{kInitSummary, 17};
constexpr Site kSystemName{kInitSummary, 18};
constexpr Site kVoskDumpContent{kInitSummary, 8};
constexpr Site kVoskInfo{kInitSummary, 19};
constexpr Site kVoskTime{kInitSummary, 20};
constexpr Site kVoskHrmor{kInitSummary, 38};

constexpr char kSystemNameKey[] = "fstp/SystemName";
constexpr char kVoskDumpContentKey[] = "menu/VoskDumpContent";
constexpr char kVoskHrmorKey[] = "mbox/voskHRMOR";
constexpr uint8_t kUnreadable = 0xFF;
constexpr uint8_t kHrmorTopBit = 0x80;
constexpr char kNoVoskInfo[] = "DEADBEEF";

struct SectionText {
    uint16_t priority;
    const char* name;
};
const SectionText kSections[hdr::SECTION_COUNT] = {
    {1, "DUMP SUMMARY"}, {2, "HARDWARE DATA"}, {2, "HYPERVISOR DATA"}};

// dumpFileName: kind prefix, ".", 7 serial bytes, ".", id as %08X, ".", and
// two digits ('0' + nibble) from each of the first 7 bytes of the time.
void putDumpFileName(uint8_t* h, const KindInfo* kind, const char* serial, unsigned int id,
                     const BCD_time8_t& time) {
    constexpr size_t kPrefix = 7, kSerial = 7, kTimeBytes = 7;
    uint8_t* p = h + hdr::DUMP_FILE_NAME;
    std::memset(p, 0, hdr::DUMP_FILE_NAME_WIDTH);
    if (kind) std::memcpy(p, kind->headerNamePrefix, kPrefix);  // GCOVR_EXCL_BR_LINE: see initFileHeader
    p += kPrefix;
    *p++ = '.';
    std::memcpy(p, serial, kSerial);
    p += kSerial;
    constexpr size_t kIdText = 10;  // ".%08X."
    char idText[kIdText + 1];
    std::snprintf(idText, sizeof idText, ".%08X.", id);
    std::memcpy(p, idText, kIdText);
    p += kIdText;
    const uint8_t bytes[kTimeBytes] = {time.year[0], time.year[1], time.month, time.day,
                                       time.hour,    time.minute,  time.second};
    for (uint8_t b : bytes) {
        *p++ = static_cast<uint8_t>('0' + (b >> 4));
        *p++ = static_cast<uint8_t>('0' + (b & 0x0F));
    }
}

}  // namespace

void DumpSummary::initFileHeader(unsigned int id, typeOfSummary_t type, const char* serial,
                                 const BCD_time8_t& time) {
    uint8_t* h = iv_image.fileHeader;
    // Creation refuses an unknown type before it lays out a header; the
    // checks of kind guard the layout, no path reaches them with none.
    const KindInfo* kind = kindInfo(type);
    if (!kind) trace("DumpSummary: file header of unknown type %d", static_cast<int>(type));  // GCOVR_EXCL_BR_LINE
    putChars(h, hdr::FILE_EYE_CATCHER, "FILE    ", EYE_CATCHER_WIDTH);
    be::putU16(h, hdr::FILE_HEADER_LENGTH, hdr::FILE_HEADER_LENGTH_VALUE);
    be::putU16(h, hdr::FILE_HEADER_VERSION, hdr::FILE_HEADER_VERSION_VALUE);
    be::putU16(h, hdr::DUMP_TYPE_CODE, kind ? kind->dumpTypeCode : 0);  // GCOVR_EXCL_BR_LINE
    putDumpFileName(h, kind, serial, id, time);

    for (size_t i = 0; i < hdr::SECTION_COUNT; ++i) {
        size_t s = hdr::section(i);
        bool last = i == hdr::HYPERVISOR_SECTION ||
                    (i == hdr::HARDWARE_SECTION && kind && kind->hardwareSectionIsLast);  // GCOVR_EXCL_BR_LINE
        putChars(h, s + hdr::SEC_EYE_CATCHER, "SECTION ", EYE_CATCHER_WIDTH);
        be::putU16(h, s + hdr::SEC_HEADER_LENGTH, hdr::SECTION_HEADER_LENGTH_VALUE);
        be::putU16(h, s + hdr::SEC_PRIORITY, kSections[i].priority);
        be::putU32(h, s + hdr::SEC_LAST_SECTION, last ? 1 : 0);
        be::putU16(h, s + hdr::SEC_VERSION, hdr::SECTION_VERSION_VALUE);
        be::putU64(h, s + hdr::SEC_SIZE, i == hdr::SUMMARY_SECTION ? hdr::SUMMARY_SECTION_SIZE_VALUE : 0);
        putText(h, s + hdr::SEC_NAME, hdr::SEC_NAME_WIDTH, kSections[i].name, hdr::SEC_NAME_WIDTH);
    }
}

ErrlEntry* DumpSummary::initSummary(unsigned int id, typeOfSummary_t type, const char* serial,
                                    const BCD_time8_t& time) {
    uint8_t* s = iv_image.summary;
    if (const KindInfo* kind = kindInfo(type)) {  // GCOVR_EXCL_BR_LINE: a known type, as for the header
        putChars(s, sum::EYE_CATCHER, kind->eyeCatcher, EYE_CATCHER_WIDTH);
        be::putU16(s, sum::FILE_HEADER_SIZE_FIELD, kind->fileHeaderSize);
    }
    putBcd(s, sum::DUMP_CREATION_TIME, time);
    be::putU32(s, sum::DUMP_ID, id);
    be::putU16(s, sum::VERSION, sum::VERSION_VALUE);
    be::putU16(s, sum::LENGTH, sum::LENGTH_VALUE);

    std::string typeModel;
    uint32_t typeModelLength = 0;
    // Unreadable parts of the type and model stay blank; no entry comes back.
    if (ErrlEntry* e = readMachineTypeModelInfo(typeModel, typeModelLength))  // GCOVR_EXCL_BR_LINE
        commit(passedAt(e, kTypeModel, typeModelLength));                     // GCOVR_EXCL_LINE
    std::memcpy(s + sum::MACHINE_TYPE_MODEL_INFO, typeModel.data(),
                std::min<size_t>(typeModel.size(), sum::MACHINE_TYPE_MODEL_WIDTH));

    uint32_t nameSize = 0;
    if (ErrlEntry* e = UtilReg::read(kSystemNameKey, nullptr, nameSize)) {
        commit(receivedAt(e, kSystemNameSize, REASON_REGISTRY));
    } else {
        if (nameSize > sum::SYSTEM_NAME_WIDTH) trace("DumpSummary: system name of %u bytes", nameSize);
        std::vector<uint8_t> name(nameSize + 1, 0);
        if (ErrlEntry* e = UtilReg::read(kSystemNameKey, name.data(), nameSize))
            commit(receivedAt(e, kSystemName, REASON_REGISTRY));
        else
            std::memcpy(s + sum::SYSTEM_NAME, name.data(), std::min<size_t>(nameSize, sum::SYSTEM_NAME_WIDTH));
    }

    std::memcpy(s + sum::MACHINE_SERIAL_NUMBER, serial, sum::SERIAL_WIDTH);

    uint8_t content = 0;
    uint32_t contentSize = sizeof content;
    if (ErrlEntry* e = UtilReg::read(kVoskDumpContentKey, &content, contentSize)) {
        commit(passedAt(e, kVoskDumpContent, 0));
        content = kUnreadable;
    }
    be::putU8(s, sum::VOSK_DUMP_CONTENT, content);

    uint32_t timeWord = 0, word1 = 0, word2 = 0;
    std::vector<uint8_t> payload;
    uint8_t hypMode = 0;
    if (ErrlEntry* e = readVoskInfo(timeWord, word1, word2, payload, hypMode)) {
        commit(receivedAt(e, kVoskInfo, REASON_TIME));
        timeWord = word1 = word2 = 0;
        if (hypMode == 1) putChars(s, sum::VOSK_INFO_DATA, kNoVoskInfo, sum::VOSK_INFO_DATA_WIDTH);
    } else if (!payload.empty()) {
        if (payload.size() > sum::VOSK_INFO_DATA_WIDTH)
            trace("DumpSummary: Vosk payload of %zu bytes cut to 8", payload.size());
        std::memcpy(s + sum::VOSK_INFO_DATA, payload.data(),
                    std::min<size_t>(payload.size(), sum::VOSK_INFO_DATA_WIDTH));
    }
    be::putU32(s, sum::VOSK_INFO_WORDS, word1);
    be::putU32(s, sum::VOSK_INFO_WORDS + 4, word2);

    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeWord);
    BCD_time8_t voskTime{};
    uint32_t status = 0;
    if (ErrlEntry* e = rtim_ConvertTimeValToBCD(tv, voskTime, RTIM_CONVERT_UTC, status))
        commit(receivedAt(e, kVoskTime, REASON_TIME, status));
    putBcd(s, sum::VOSK_INFO_TIME, voskTime);

    be::putU16(s, sum::HARDWARE_NODE_COUNT, 0);

    uint8_t hrmor[sum::VOSK_HRMOR_WIDTH] = {0};
    uint32_t hrmorSize = sizeof hrmor;
    if (ErrlEntry* e = UtilReg::read(kVoskHrmorKey, hrmor, hrmorSize)) {
        commit(receivedAt(e, kVoskHrmor, REASON_REGISTRY));
        std::memset(hrmor, kUnreadable, sizeof hrmor);
    } else {
        hrmor[0] |= kHrmorTopBit;
    }
    std::memcpy(s + sum::VOSK_HRMOR, hrmor, sizeof hrmor);

    std::memset(s + sum::DUMP_SRC, 0, sum::DUMP_SRC_WIDTH);
    be::putU32(s, sum::HW_DUMP_TOTAL_SIZE, 0);
    be::putU8(s, sum::HARDWARE_OBJECT_MODEL, 0);
    be::putU16(s, sum::RESERVED_724, 0);
    return nullptr;
}
