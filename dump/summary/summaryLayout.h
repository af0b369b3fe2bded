// Byte layout of a dump's summary file: three regions at fixed offsets
// (file header, summary, file names; 4372 bytes), optionally followed by
// the flattened SRC. Field offsets are given relative to their region, each
// written as "documented file offset - region offset", and are read and
// written only through be:: and the helpers below. Every byte not named
// here is reserved and zero. Beside the fields: every flag bit the library
// gives a meaning to, the summary file's name, and what each kind of dump
// decides in its files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/bigEndian.h"
#include "platdump/dumpSummary.h"

namespace dump {
namespace layout {

// Regions.
constexpr uint32_t FILE_HEADER_OFFSET = 0;
constexpr uint32_t FILE_HEADER_SIZE = 208;
constexpr uint32_t SUMMARY_OFFSET = 208;
constexpr uint32_t SUMMARY_SIZE = 1024;
constexpr uint32_t FILE_NAMES_OFFSET = 1232;
constexpr uint32_t FILE_NAMES_SIZE = 3140;
constexpr uint32_t HEADER_AND_SUMMARY_SIZE = FILE_HEADER_SIZE + SUMMARY_SIZE;
constexpr uint32_t SUMMARY_FILE_SIZE = FILE_NAMES_OFFSET + FILE_NAMES_SIZE;  // 4372
constexpr uint32_t FLATTENED_SRC_OFFSET = SUMMARY_FILE_SIZE;

constexpr size_t EYE_CATCHER_WIDTH = 8;
constexpr size_t BCD8_WIDTH = 8;

// File header region (file offset 0): a 64-byte file header, then three
// 48-byte section headers.
namespace hdr {
constexpr size_t FILE_EYE_CATCHER = 0;       // 8 chars, "FILE    "
constexpr size_t FILE_HEADER_LENGTH = 8;     // u16
constexpr size_t FILE_HEADER_VERSION = 20;   // u16
constexpr size_t DUMP_TYPE_CODE = 22;        // u16
constexpr size_t DUMP_FILE_NAME = 24;        // 40 chars, byte 63 NUL
constexpr size_t DUMP_FILE_NAME_WIDTH = 40;
constexpr size_t SECTION_HEADERS = 64;
constexpr size_t SECTION_HEADER_SIZE = 48;

enum Section : size_t { SUMMARY_SECTION = 0, HARDWARE_SECTION = 1, HYPERVISOR_SECTION = 2 };
constexpr size_t SECTION_COUNT = 3;
constexpr size_t section(size_t index) { return SECTION_HEADERS + SECTION_HEADER_SIZE * index; }

// Within a section header.
constexpr size_t SEC_EYE_CATCHER = 0;   // 8 chars, "SECTION "
constexpr size_t SEC_HEADER_LENGTH = 8; // u16
constexpr size_t SEC_PRIORITY = 10;     // u16
constexpr size_t SEC_LAST_SECTION = 16; // u32
constexpr size_t SEC_VERSION = 20;      // u16
constexpr size_t SEC_SIZE = 24;         // u64
constexpr size_t SEC_SIZE_LOW_WORD = SEC_SIZE + 4;
constexpr size_t SEC_NAME = 32;         // 16 chars
constexpr size_t SEC_NAME_WIDTH = 16;

constexpr uint16_t FILE_HEADER_LENGTH_VALUE = 64;
constexpr uint16_t FILE_HEADER_VERSION_VALUE = 1;
constexpr uint16_t SECTION_HEADER_LENGTH_VALUE = 48;
constexpr uint16_t SECTION_VERSION_VALUE = 2;
constexpr uint64_t SUMMARY_SECTION_SIZE_VALUE = 1024;
}  // namespace hdr

// Summary region (file offset 208).
namespace sum {
constexpr size_t at(size_t fileOffset) { return fileOffset - SUMMARY_OFFSET; }
constexpr size_t EYE_CATCHER = at(208);                   // 8 chars
constexpr size_t DUMP_CREATION_TIME = at(216);            // BCD8
constexpr size_t DUMP_ID = at(224);                       // u32
constexpr size_t VERSION = at(228);                       // u16
constexpr size_t LENGTH = at(230);                        // u16
constexpr size_t TOTAL_DUMP_SIZE = at(232);               // u64
constexpr size_t MACHINE_TYPE_MODEL_INFO = at(240);       // 32 chars
constexpr size_t SYSTEM_NAME = at(272);                   // 32 chars
constexpr size_t MACHINE_SERIAL_NUMBER = at(304);         // 7 chars
constexpr size_t CREATION_FLAG = at(311);                 // u8
constexpr size_t SYSTEM_LOG_ID = at(312);                 // u32
constexpr size_t FILE_HEADER_SIZE_FIELD = at(316);        // u16
constexpr size_t DUMP_SRC_SIZE = at(318);                 // u16
constexpr size_t DUMP_SRC = at(320);                      // 332 bytes
constexpr size_t TOOL_TYPE = at(652);                     // u32
constexpr size_t CLIENT_ID = at(656);                     // 32 chars
constexpr size_t USER_ID = at(688);                       // 32 chars
constexpr size_t DUMP_FLAGS = at(720);                    // u16
constexpr size_t HW_ERROR_FLAGS = at(722);                // u16
constexpr size_t RESERVED_724 = at(724);                  // u16
constexpr size_t HARDWARE_OBJECT_MODEL = at(726);         // u8
constexpr size_t MEMORY_DUMP_ERROR_FLAGS = at(728);       // u64
constexpr size_t MEMORY_DUMP_START_TIME = at(736);        // BCD8
constexpr size_t MEMORY_DUMP_COMPLETION_TIME = at(744);   // BCD8
constexpr size_t VOSK_INFO_DATA = at(752);                // 8 bytes
constexpr size_t HYP_MODE = at(762);                      // u8
constexpr size_t VOSK_DUMP_CONTENT = at(763);             // u8
constexpr size_t HARDWARE_NODE_COUNT = at(766);           // u16
constexpr size_t NODAL_DATA_SIZE = at(772);               // u32
constexpr size_t HW_DUMP_TOTAL_SIZE = at(776);            // u32
constexpr size_t MDRT_TABLE_SIZE = at(780);               // u32
constexpr size_t MDRT_ADDRESS = at(784);                  // u64
constexpr size_t MEMORY_DUMP_SIZE = at(792);              // u64
constexpr size_t VOSK_INFO_TIME = at(800);                // BCD8
constexpr size_t HARDWARE_COLLECTION_END_TIME = at(808);  // BCD8
constexpr size_t CONTENT_TYPE = at(816);                  // u32
constexpr size_t FAILING_UNIT_ID = at(820);               // u32
constexpr size_t VOSK_HRMOR = at(832);                    // 8 bytes
constexpr size_t VOSK_INFO_WORDS = at(840);               // 2 x u32
constexpr size_t HARDWARE_COLLECTION_START_TIME = at(848);// BCD8

constexpr size_t MACHINE_TYPE_MODEL_WIDTH = 32;
constexpr size_t SYSTEM_NAME_WIDTH = 32;
constexpr size_t SERIAL_WIDTH = 7;
constexpr size_t DUMP_SRC_WIDTH = 332;
constexpr size_t CLIENT_ID_WIDTH = 32;
constexpr size_t USER_ID_WIDTH = 32;
constexpr size_t VOSK_INFO_DATA_WIDTH = 8;
constexpr size_t VOSK_HRMOR_WIDTH = 8;

// dumpFlags bits this library gives a meaning to; the others are the
// callers'.
constexpr uint16_t dumpCompleteFlag = 0x8000;
constexpr uint16_t hardwareCollectionDoneFlag = 0x4000;
constexpr uint16_t mainstoreDumpExistsFlag = 0x2000;
constexpr uint16_t hwSysCollectionFailedFlag = 0x1000;
constexpr uint16_t mainstoreCollectionFailedFlag = 0x0800;
constexpr uint16_t mainstoreCollectionFlag = 0x0200;
// Set by callers along with setApartFlag; traced when it is missing.
constexpr uint16_t setApartCompanionFlag = 0x0080;
constexpr uint16_t checkstopIplRequestedFlag = 0x0020;
// Set by callers: repeated main-store read failures withdraw the dump's
// main-store data rather than ask for a checkstop IPL.
constexpr uint16_t withdrawMainstoreFlag = 0x0004;
// Set by callers: the dump is never counted and never the current dump.
constexpr uint16_t setApartFlag = 0x0001;

// hwErrorFlags bits this library sets or tests; the others are the
// callers'. The first setting of hwLoggedErrorFlag commits an error log.
constexpr uint16_t hwFileSystemFullFlag = 0x8000;  // a nodal file found its file system full
constexpr uint16_t hwLoggedErrorFlag = 0x0200;

// memoryDumpErrorFlags bits this library sets; the others are the callers'.
constexpr uint64_t memMainstoreWithdrawnFlag = 0x0001000000000000ULL;     // every withdrawal
constexpr uint64_t memReadFailuresWithdrawnFlag = 0x0080000000000000ULL;  // by the extraction

constexpr uint16_t VERSION_VALUE = 0x0221;
constexpr uint16_t LENGTH_VALUE = 1024;
constexpr uint8_t CREATION_FLAG_VALUE = 1;
}  // namespace sum

// File names region (file offset 1232). Names are NUL-terminated within
// their 64 bytes; an empty slot starts with NUL.
namespace names {
constexpr size_t at(size_t fileOffset) { return fileOffset - FILE_NAMES_OFFSET; }
constexpr size_t NAME_WIDTH = 64;
constexpr size_t NAME_MAX_LENGTH = NAME_WIDTH - 1;
constexpr unsigned NODAL_SLOTS = 10;

// Ten names of a kind together, then their ten sizes.
constexpr size_t HW_TOC_FILE_NAME = at(1232);
constexpr size_t HW_TOC_FILE_SIZE = at(1872);
constexpr size_t HW_DATA_FILE_NAME = at(1912);
constexpr size_t HW_DATA_FILE_SIZE = at(2552);
constexpr size_t SP_TOC_FILE_NAME = at(2592);
constexpr size_t SP_TOC_FILE_SIZE = at(3232);
constexpr size_t SP_DATA_FILE_NAME = at(3272);
constexpr size_t SP_DATA_FILE_SIZE = at(3912);
constexpr size_t nameSlot(size_t base, unsigned i) { return base + NAME_WIDTH * i; }
constexpr size_t sizeSlot(size_t base, unsigned i) { return base + 4 * i; }

constexpr size_t SYS_TOC_FILE_NAME = at(3952);
constexpr size_t SYS_TOC_FILE_SIZE = at(4016);       // u32
constexpr size_t SYS_DATA_FILE_NAME = at(4020);
constexpr size_t SYS_DATA_FILE_SIZE = at(4084);      // u32
constexpr size_t MDRT_FILE_NAME = at(4088);
constexpr size_t MDRT_FILE_SIZE = at(4152);          // u32
constexpr size_t MDST_FILE_NAME = at(4156);
constexpr size_t MDST_FILE_SIZE = at(4220);          // u32
constexpr size_t RESOURCE_DUMP_FILE_NAME = at(4224);
constexpr size_t SUMMARY_FILE_NAME = at(4288);
constexpr size_t TCE_ERROR_COUNT = at(4352);         // u32
constexpr size_t DMA_ERROR_COUNT = at(4356);         // u32
constexpr size_t PRIVATE_FLAGS = at(4360);           // u32
constexpr size_t TOTAL_HDCT_ITEM_COUNT = at(4364);   // u32
constexpr size_t FINISHED_HDCT_ITEM_COUNT = at(4368);// u32

// privateFlags bits this library tests; the others are the callers'.
constexpr uint32_t privateStepDoneFlag = 0x00000004;   // progress: 80 rather than 60
constexpr uint32_t mainstoreInMode4Flag = 0x00000002;  // main store may be read in mode 4
}  // namespace names

// The summary file's name in the repository: its kind's filePrefix, the
// dump id as "%08X", then SUMMARY_FILE_SUFFIX.
constexpr size_t FILE_PREFIX_LENGTH = 8;
constexpr size_t FILE_ID_DIGITS = 8;
constexpr char SUMMARY_FILE_SUFFIX[] = ".summary";

// What a dump's kind decides in its files.
struct KindInfo {
    // The summary file's name prefix; DumpCollections exports the same
    // bytes as HWUDUMP, SYSDUMP and RESDUMP.
    char filePrefix[FILE_PREFIX_LENGTH + 1];
    const char* headerNamePrefix;  // 7 characters, in dumpFileName
    const char* eyeCatcher;        // 8 characters, the summary's eye-catcher
    uint16_t dumpTypeCode;
    uint16_t fileHeaderSize;       // bytes of the file header offloaded
    bool hardwareSectionIsLast;
};

// The three kinds, in type order (HWU, SYS, RSC).
inline constexpr KindInfo KINDS[] = {
    // HWU: the offloaded header ends after the hardware section.
    {"HWUDUMP.", "HWUDUMP", "HWU DUMP", 17, 160, true},
    {"SYSDUMP.", "SYSDUMP", "SYS DUMP", 15, 208, false},
    {"RESDUMP.", "RSCDUMP", "RSC DUMP", 0, 208, false},
};

// The kind's facts; null for a type outside 1 to 3.
constexpr const KindInfo* kindInfo(DumpSummary::typeOfSummary_t type) {
    return type < DumpSummary::HWU || type > DumpSummary::RSC ? nullptr : &KINDS[type - DumpSummary::HWU];
}
// The kind whose eye-catcher the 8 bytes at p are; 0 when none.
DumpSummary::typeOfSummary_t kindOfEyeCatcher(const uint8_t* p);

// Text into a field of width bytes: at most maxLength characters of s (up
// to its first NUL), the rest of the field NUL.
inline void putText(uint8_t* p, size_t off, size_t width, const char* s, size_t maxLength) {
    size_t n = s ? strnlen(s, maxLength) : 0;
    if (n) std::memcpy(p + off, s, n);
    std::memset(p + off + n, 0, width - n);
}
// Exactly width bytes, no terminator (eye-catchers, names of 8 or 16).
inline void putChars(uint8_t* p, size_t off, const char* s, size_t width) {
    std::memcpy(p + off, s, width);
}
// The NUL-terminated text of a field (at most width bytes).
inline std::string getText(const uint8_t* p, size_t off, size_t width) {
    const char* s = reinterpret_cast<const char*>(p + off);
    return std::string(s, strnlen(s, width));
}

// Bits set or cleared in a big-endian field of an image.
inline void orU16(uint8_t* p, size_t off, uint16_t mask) {
    be::putU16(p, off, static_cast<uint16_t>(be::getU16(p, off) | mask));
}
inline void andNotU16(uint8_t* p, size_t off, uint16_t mask) {
    be::putU16(p, off, static_cast<uint16_t>(be::getU16(p, off) & ~mask));
}
inline void orU64(uint8_t* p, size_t off, uint64_t mask) { be::putU64(p, off, be::getU64(p, off) | mask); }

inline void putBcd(uint8_t* p, size_t off, const BCD_time8_t& t) {
    const uint8_t bytes[BCD8_WIDTH] = {t.year[0], t.year[1], t.month,  t.day,
                                       t.hour,    t.minute,  t.second, t.hundredths};
    std::memcpy(p + off, bytes, BCD8_WIDTH);
}

}  // namespace layout
}  // namespace dump
