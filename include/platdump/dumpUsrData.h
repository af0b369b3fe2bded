// User-data sections that the dump library attaches to error-log entries.
// Each fills its buffer, of a fixed big-endian layout, when constructed;
// attach it with dumpAddDetails (or addToLog), then destroy it. Bytes that
// a layout does not write keep what the platform's buffer holds. The first
// argument of every constructor is the component id (DUMP_COMPONENT_ID).
#pragma once

#include <list>
#include <string>

#include "dumpExport.h"
#include "dumpTypes.h"
#include "platform/errlUsrDataCreator.h"
#include "platform/hwFacility.h"

// ":?:", the text between a key and its value.
extern PLATDUMP_EXPORT const char KEY_VALUE_SEPARATOR[4];

// 16 bytes: the buffer address, the transfer length, the position's high
// and low words.
class PLATDUMP_EXPORT DumpBufferDataInfo : public util::ErrlUsrDataCreator {
public:
    DumpBufferDataInfo(unsigned short componentId, unsigned int word0, unsigned int word1,
                       unsigned int word2, unsigned int word3);
    ~DumpBufferDataInfo() override;
};

// key, ":?:", value, one byte not written: key + value + 4 bytes.
class PLATDUMP_EXPORT DumpKeyValueStringInfo : public util::ErrlUsrDataCreator {
public:
    DumpKeyValueStringInfo(unsigned short componentId, std::string key, std::string value);
    ~DumpKeyValueStringInfo() override;
};

// Each string followed by ":?:", in list order.
class PLATDUMP_EXPORT DumpMultiKeyValueStringsInfo : public util::ErrlUsrDataCreator {
public:
    DumpMultiKeyValueStringsInfo(unsigned short componentId, std::list<std::string>& strings);
    ~DumpMultiKeyValueStringsInfo() override;
};

// size word, flag word, the key, four bytes not written: key + 12 bytes.
class PLATDUMP_EXPORT DumpUtilRegistryInfo : public util::ErrlUsrDataCreator {
public:
    DumpUtilRegistryInfo(unsigned short componentId, std::string key, unsigned int flag,
                         unsigned int size);
    ~DumpUtilRegistryInfo() override;
};

// Three words in argument order: 12 bytes.
class PLATDUMP_EXPORT DumpTocEntryInfo : public util::ErrlUsrDataCreator {
public:
    DumpTocEntryInfo(unsigned short componentId, unsigned int word0, unsigned int word1,
                     unsigned int word2);
    ~DumpTocEntryInfo() override;
};

// The client record's first 69 bytes (tool type big-endian): 72 bytes.
class PLATDUMP_EXPORT DumpClientRecordInfo : public util::ErrlUsrDataCreator {
public:
    DumpClientRecordInfo(unsigned short componentId, DumpClientRecord_t const& record);
    ~DumpClientRecordInfo() override;
};

// Eight words and the status byte of a facility entry: 36 bytes.
class PLATDUMP_EXPORT DumpHwFacilityEntryInfo : public util::ErrlUsrDataCreator {
public:
    DumpHwFacilityEntryInfo(unsigned short componentId, hwFacilityEntry1& entry);
    ~DumpHwFacilityEntryInfo() override;
};

// The dump component's registry state, read when constructed: pending
// byte, policy, hardware-unit and system dump ids, a zero word: 20 bytes.
class PLATDUMP_EXPORT DumpRegistryInfo : public util::ErrlUsrDataCreator {
public:
    explicit DumpRegistryInfo(unsigned short componentId);
    ~DumpRegistryInfo() override;
};
