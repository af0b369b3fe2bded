// The user-data sections: each constructor lays out its buffer.
#include "platdump/dumpUsrData.h"

#include <cstring>

#include "platform/bigEndian.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpErrl.h"
#include "platform/utilReg.h"


namespace {

constexpr size_t kSeparatorLength = 3;

void putText(uint8_t* p, size_t off, const std::string& s) {
    if (!s.empty()) std::memcpy(p + off, s.data(), s.size());
}

// Reads a registry value straight into its place in the section; a failed
// read leaves the place as it is and is committed.
void readRegistryInto(const char* key, uint8_t* place, uint32_t size) {
    uint32_t length = size;
    ErrlEntry* e = UtilReg::read(key, place, length, true, nullptr);
    if (!e) return;
    dump::trace("DumpRegistryInfo: %s unreadable", key);
    e->commit(DUMP_COMPONENT_ID, 0, ERRL_SEV_ENTRY_DEFAULT, ERRL_ETYPE_NOT_APPLICABLE);
    delete e;  // GCOVR_EXCL_BR_LINE: delete's own test for null; e is not null here
}

}  // namespace

DumpBufferDataInfo::DumpBufferDataInfo(unsigned short, unsigned int word0, unsigned int word1,
                                       unsigned int word2, unsigned int word3) {
    uint8_t* p = allocUsrBuf(16);
    be::putU32(p, 0, word0);
    be::putU32(p, 4, word1);
    be::putU32(p, 8, word2);
    be::putU32(p, 12, word3);
}
DumpBufferDataInfo::~DumpBufferDataInfo() = default;

DumpKeyValueStringInfo::DumpKeyValueStringInfo(unsigned short, std::string key,
                                               std::string value) {
    uint8_t* p = allocUsrBuf(static_cast<uint32_t>(key.size() + value.size() + 4));
    putText(p, 0, key);
    std::memcpy(p + key.size(), KEY_VALUE_SEPARATOR, kSeparatorLength);
    putText(p, key.size() + kSeparatorLength, value);
}
DumpKeyValueStringInfo::~DumpKeyValueStringInfo() = default;

DumpMultiKeyValueStringsInfo::DumpMultiKeyValueStringsInfo(unsigned short,
                                                           std::list<std::string>& strings) {
    size_t total = 0;
    for (const std::string& s : strings) total += s.size() + kSeparatorLength;
    uint8_t* p = allocUsrBuf(static_cast<uint32_t>(total));
    size_t at = 0;
    for (const std::string& s : strings) {
        putText(p, at, s);
        std::memcpy(p + at + s.size(), KEY_VALUE_SEPARATOR, kSeparatorLength);
        at += s.size() + kSeparatorLength;
    }
}
DumpMultiKeyValueStringsInfo::~DumpMultiKeyValueStringsInfo() = default;

DumpUtilRegistryInfo::DumpUtilRegistryInfo(unsigned short, std::string key, unsigned int flag,
                                           unsigned int size) {
    uint8_t* p = allocUsrBuf(static_cast<uint32_t>(key.size() + 12));
    be::putU32(p, 0, size);
    be::putU32(p, 4, flag);
    putText(p, 8, key);
}
DumpUtilRegistryInfo::~DumpUtilRegistryInfo() = default;

DumpTocEntryInfo::DumpTocEntryInfo(unsigned short, unsigned int word0, unsigned int word1,
                                   unsigned int word2) {
    uint8_t* p = allocUsrBuf(12);
    be::putU32(p, 0, word0);
    be::putU32(p, 4, word1);
    be::putU32(p, 8, word2);
}
DumpTocEntryInfo::~DumpTocEntryInfo() = default;

DumpClientRecordInfo::DumpClientRecordInfo(unsigned short, DumpClientRecord_t const& record) {
    uint8_t* p = allocUsrBuf(sizeof(DumpClientRecord_t));
    be::putU32(p, 0, record.toolType);
    std::memcpy(p + 4, record.clientId, sizeof record.clientId);
    std::memcpy(p + 36, record.userId, sizeof record.userId);
}
DumpClientRecordInfo::~DumpClientRecordInfo() = default;

DumpHwFacilityEntryInfo::DumpHwFacilityEntryInfo(unsigned short, hwFacilityEntry1& entry) {
    constexpr uint32_t kSize = 36;
    dump::trace("DumpHwFacilityEntryInfo: section size %u", kSize);
    // Words of the entry by byte offset: 48, 0, 4, 12, 16, 20, 24, 36.
    static const unsigned kWords[] = {12, 0, 1, 3, 4, 5, 6, 9};
    uint8_t* p = allocUsrBuf(kSize);
    for (size_t i = 0; i < sizeof kWords / sizeof kWords[0]; ++i)
        be::putU32(p, 4 * i, entry.word[kWords[i]]);
    be::putU8(p, 32, entry.status);
}
DumpHwFacilityEntryInfo::~DumpHwFacilityEntryInfo() = default;

DumpRegistryInfo::DumpRegistryInfo(unsigned short) {
    uint8_t* p = allocUsrBuf(20);
    readRegistryInto("dump/DumpPending", p, 1);
    readRegistryInto("dump/DumpPolicy", p + 4, 4);
    readRegistryInto("dump/HwUnitDumpId", p + 8, 4);
    readRegistryInto("dump/SystemDumpId", p + 12, 4);
    be::putU32(p, 16, 0);
}
DumpRegistryInfo::~DumpRegistryInfo() = default;
