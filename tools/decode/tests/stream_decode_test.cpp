// A well-formed system dump, with two node groups, a system section and
// main store, decodes field by field with no finding (a hardware-unit
// dump's walk is in the damaged-stream table); BCD times and flag names.
#include <tuple>

#include "decodeFixture.h"

using namespace decode;
using namespace decodetest;
using namespace streamfixture;

namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<uint8_t> b) { return b; }

TEST(DecodeStream, SystemDumpHeaderAndSummaryFields) {
    Built b = build(systemDump());
    DecodedStream d = decodeBytes(b.bytes);
    EXPECT_EQ(findingsOf(d), Listed{});
    // The sizes, last-section flags, section names, id, version, type code
    // and kind are checked against each other and against the stream: one
    // decoded wrong is a finding.

    EXPECT_EQ(std::tie(d.header.fileEyeCatcher, d.header.dumpFileName),
              std::make_tuple("FILE    ", "SYSDUMP.ABC1234.0000001A.20261205203015"));
    ASSERT_EQ(d.header.sections.size(), 3u);

    ASSERT_TRUE(d.summary);
    const SummarySection& s = *d.summary;
    EXPECT_EQ(std::tie(s.dumpCreationTime.text, s.hardwareCollectionStartTime.text, s.hardwareCollectionEndTime.text,
                       s.memoryDumpStartTime.text, s.memoryDumpCompletionTime.text),
              std::make_tuple("2026-12-05 20:30:15.00", "2026-12-05 20:31:00.50", "2026-12-05 20:42:59.99",
                              "2026-12-05 20:43:00.00", "2026-12-05 21:02:03.04"));
    EXPECT_FALSE(s.voskInfoTime.set);
    EXPECT_EQ(std::tie(s.machineTypeModelInfo, s.systemName, s.machineSerialNumber, s.clientId, s.userId),
              std::make_tuple("SIMXT01A        0000000A0000000B", "sim-server-02", "ABC1234", "offload-app", "service"));
    EXPECT_EQ(std::tie(s.systemLogId, s.toolType, s.contentType, s.failingUnitId, s.mdrtAddress, s.memoryDumpErrorFlags),
              std::make_tuple(0x50001234u, 3u, 0x400u, 0x00020003u, uint64_t{0x12340000}, uint64_t{0x10}));
    EXPECT_EQ(std::tie(s.dumpFlags, s.hwErrorFlags, s.hardwareObjectModel, s.hypMode, s.voskDumpContent),
              std::make_tuple(0xA280, 1, 7, 1, 0xFF));
    EXPECT_EQ(s.dumpFlagNames, (std::vector<std::string>{"dumpCompleteFlag", "mainstoreDumpExistsFlag",
                                                         "mainstoreCollectionFlag", "0x0080"}));
    EXPECT_EQ(std::tie(s.dumpSrc, s.voskInfoData, s.voskHrmor),
              std::make_tuple(bytesOf({0xB1, 0x81, 0x23, 0x45}), bytesOf({'D', 'E', 'A', 'D', 'B', 'E', 'E', 'F'}),
                              bytesOf({0x80, 0, 0, 0, 0x04, 0, 0, 0})));
}

// Offsets and sizes are held against each other: one decoded wrong is a
// finding, with the offset in its words (the damaged-stream table).
TEST(DecodeStream, SystemDumpNodalSectionsAndMainStore) {
    Built b = build(systemDump());
    DecodedStream d = decodeBytes(b.bytes);
    ASSERT_TRUE(d.hardware);
    const HardwareSection& hw = *d.hardware;
    ASSERT_EQ(hw.groups.size(), 2u);

    // Node group 0, HWDATA: two 28-byte entries (TOC 104 bytes), items of
    // 20 and 9 bytes, 11 pad bytes to reach 144.
    ASSERT_TRUE(hw.groups[0].hardware);
    const NodalFile& hw0 = *hw.groups[0].hardware;
    EXPECT_EQ(std::tie(hw0.dataOffset, hw0.itemsLength, hw0.padLength), std::make_tuple(1336u, 29u, 11u));
    ASSERT_EQ(hw0.entries.size(), 2u);
    const TocEntry& e = hw0.entries[0];
    EXPECT_EQ(std::tie(e.hwWord[0], e.hwWord[4], e.spareBits), std::make_tuple(0x11u, 0x80300000u, 3u));

    ASSERT_TRUE(hw.groups[0].serviceProcessor);
    const NodalFile& sp0 = *hw.groups[0].serviceProcessor;
    ASSERT_EQ(sp0.entries.size(), 1u);
    EXPECT_EQ(sp0.entries[0].entryId, 0xF0090000u);

    ASSERT_TRUE(hw.groups[1].hardware && hw.groups[1].serviceProcessor);
    EXPECT_EQ(hw.groups[1].hardware->header.sectionIndex, 1);
    EXPECT_EQ(hw.groups[1].hardware->entries[0].spareBits, 7u);
    const NodalFile& sp1 = *hw.groups[1].serviceProcessor;  // no items: header alone
    EXPECT_EQ(std::tie(sp1.header.entryCount, sp1.dataLength), std::make_tuple(0u, uint64_t{0}));

    ASSERT_TRUE(hw.system);
    ASSERT_EQ(hw.system->entries.size(), 2u);
    EXPECT_EQ(hw.system->entries[1].entryId, 0xF00A0000u);

    ASSERT_TRUE(d.hypervisor);
    ASSERT_EQ(d.hypervisor->regions.size(), 3u);
    for (const auto& region : d.hypervisor->regions) EXPECT_EQ(region.present, region.length);
}

TEST(DecodeStream, BcdTimesAndFlagNames) {
    struct Stamp {
        uint8_t bytes[8];
        bool set, valid;
        const char* text;
    };
    const Stamp stamps[] = {
        {{0x20, 0x24, 0x02, 0x29, 0x23, 0x59, 0x59, 0x99}, true, true, "2024-02-29 23:59:59.99"},
        {{0x20, 0x26, 0x13, 0x05, 0x20, 0x30, 0x15, 0x00}, true, false, "2026130520301500"},  // month 13
        {{0x20, 0x26, 0x12, 0x00, 0x20, 0x30, 0x15, 0x00}, true, false, "2026120020301500"},  // day 0
        {{0x20, 0x2A, 0x12, 0x05, 0x20, 0x30, 0x15, 0x00}, true, false, "202A120520301500"},  // no digit
        {{0x20, 0x26, 0x12, 0x05, 0xA0, 0x30, 0x15, 0x00}, true, false, "20261205A0301500"},
        {{}, false, false, ""},
    };
    for (const Stamp& s : stamps) {
        const BcdTime t = decodeBcdTime(s.bytes);
        EXPECT_EQ(std::make_tuple(t.set, t.valid, t.text), std::make_tuple(s.set, s.valid, std::string(s.text)));
    }

    EXPECT_EQ(dumpFlagNames(0x5C21),
              (std::vector<std::string>{"hardwareCollectionDoneFlag", "hwSysCollectionFailedFlag",
                                        "mainstoreCollectionFailedFlag", "0x0400", "checkstopIplRequestedFlag", "0x0001"}));
    EXPECT_TRUE(dumpFlagNames(0).empty());
}

}  // namespace
