// User-data section layouts, byte for byte as they reach the error log.
#include <cstring>

#include "platdump/dumpErrl.h"
#include "platdump/dumpUsrData.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class UserData : public SimTest {
protected:
    // The bytes of section as attached to a committed entry, and its type.
    std::vector<uint8_t> attached(const util::ErrlUsrDataCreator& section, std::string* type = nullptr) {
        ErrlEntry* e = dumpCreateInfoLog(0, 0xF00B, 0x0113, 1, 0, 0, 0);
        dumpAddDetails(section, e);
        dumpCommitAndFreeLog(e);
        Json j = errlog().back();
        if (type) *type = j["userData"].back()["type"];
        return userDataBytes(j, j["userData"].size() - 1);
    }
};

TEST_F(UserData, BufferDataIsFourBigEndianWords) {
    std::string type;
    EXPECT_EQ(attached(DumpBufferDataInfo(0xF000, 0x11223344, 0x10, 0, 0xA0B0C0D0), &type),
              Bytes().u32(0x11223344).u32(0x10).u32(0).u32(0xA0B0C0D0).bytes());
    EXPECT_EQ(type, "DumpBufferDataInfo");
}

TEST_F(UserData, KeyValueAndMultiStringLayouts) {
    EXPECT_EQ(attached(DumpKeyValueStringInfo(0xF000, "ab", "c")),
              Bytes().text("ab:?:c").u8(0).bytes());
    EXPECT_EQ(attached(DumpKeyValueStringInfo(0xF000, "", "")), Bytes().text(":?:").u8(0).bytes());

    std::list<std::string> strings = {"x", "yz"};
    EXPECT_EQ(attached(DumpMultiKeyValueStringsInfo(0xF000, strings)),
              Bytes().text("x:?:yz:?:").bytes());
    std::list<std::string> none;
    EXPECT_TRUE(attached(DumpMultiKeyValueStringsInfo(0xF000, none)).empty());
}

TEST_F(UserData, RegistryTocAndClientRecordLayouts) {
    // The size word comes first although it is the last argument.
    EXPECT_EQ(attached(DumpUtilRegistryInfo(0xF000, "dump/DumpPolicy", 1, 4)),
              Bytes().u32(4).u32(1).text("dump/DumpPolicy").u32(0).bytes());
    EXPECT_EQ(attached(DumpTocEntryInfo(0xF000, 1, 0x02030405, 0xFFFFFFFF)),
              Bytes().u32(1).u32(0x02030405).u32(0xFFFFFFFF).bytes());

    DumpClientRecord_t record;
    std::memset(&record, 0xEE, sizeof record);
    record.toolType = 0x01020304;
    std::memcpy(record.clientId, "0123456789abcdef0123456789ABCDEF", 32);
    std::memset(record.userId, 0, sizeof record.userId);
    std::memcpy(record.userId, "operator", 8);
    EXPECT_EQ(attached(DumpClientRecordInfo(0xF000, record)),
              Bytes().u32(0x01020304).text("0123456789abcdef0123456789ABCDEF")
                  .field("operator", 33).fill(3).bytes());
}

TEST_F(UserData, HardwareFacilityEntryPicksWordsByOffset) {
    hwFacilityEntry1 entry;
    for (uint32_t i = 0; i < 13; ++i) entry.word[i] = 0x10000000u * (i % 16) + i;
    entry.status = 0x5C;
    EXPECT_EQ(attached(DumpHwFacilityEntryInfo(0xF000, entry)),
              Bytes().u32(entry.word[12]).u32(entry.word[0]).u32(entry.word[1])
                  .u32(entry.word[3]).u32(entry.word[4]).u32(entry.word[5])
                  .u32(entry.word[6]).u32(entry.word[9]).u8(0x5C).fill(3).bytes());
}

TEST_F(UserData, RegistryInfoReadsTheDumpKeysAndCommitsEachFailedRead) {
    platsim::setRegistry("dump/DumpPending", "\x01");
    platsim::setRegistryU32("dump/DumpPolicy", 0x00010002);
    platsim::setRegistryU32("dump/SystemDumpId", 0x0000001A);
    // dump/HwUnitDumpId is missing
    DumpRegistryInfo section(0xF000);
    std::vector<Json> before = errlog();
    ASSERT_EQ(before.size(), 1u) << "the failed read is committed";
    EXPECT_EQ(before[0]["commit"]["flags"], 0);
    EXPECT_EQ(attached(section),
              Bytes().u8(1).fill(3).u32(0x00010002).u32(0).u32(0x1A).u32(0).bytes());
}

}  // namespace
