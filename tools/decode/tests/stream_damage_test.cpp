// Damaged streams, one row per damage: every error with its words at the
// byte offset of the field or record at fault, and the walk going on where
// it can (the node groups found, where the hypervisor data starts). The
// damaged vectors are exactly as long as the stream, so a read past the
// end shows under AddressSanitizer.
#include <algorithm>
#include <functional>

#include "decodeFixture.h"

using namespace decode;
using namespace decodetest;
using namespace streamfixture;

namespace {

using Stream = std::vector<uint8_t>;
using testsupport::Bytes;

// Fields of the system dump's 208-byte file header and its summary.
constexpr size_t kTypeCode = 22, kFileNameId = 40, kSectionName = 64 + 32, kHardwareSectionSize = 112 + 24;
constexpr size_t kSummary = 208, kTotalDumpSize = kSummary + 24, kFileHeaderSize = kSummary + 108;
constexpr size_t kDumpFlags = kSummary + 512, kNodalDataSize = kSummary + 564, kMdrtTableSize = kSummary + 572;
// Fields of a nodal TOC header and of its entries; of an MDRT entry.
constexpr size_t kTocContentCode = 12, kTocTotalSize = 16, kTocDataFileSize = 24, kTocEntryCount = 28;
constexpr size_t kSpEntryDataOffset = 4, kSpEntryDataSize = 8, kHwEntryDataOffset = 16, kHwEntryDataSize = 24;
constexpr size_t kMdrtLength = 20;

struct Damage {
    const char* what;
    std::function<void(Stream&)> apply;
    Listed findings;        // every finding, in stream order ("notice: " before a notice)
    // The walk: node groups decoded, where the hypervisor data was found (0:
    // nowhere); by default the whole stream's.
    size_t groups = 2;
    uint64_t hypervisorAt = 1712;
    size_t findingCount = 0;  // when not 0: findings lists only some of them
};

TEST(DamagedStream, EachDamageIsReportedWhereItIsAndTheWalkGoesOn) {
    const Built b = build(systemDump()), hwu = build(hardwareUnitDump());
    auto cutAt = [](size_t length) { return [length](Stream& s) { s.resize(length); }; };
    auto put16 = [](size_t at, uint16_t v) { return [=](Stream& s) { patch(s, at, Bytes().u16(v)); }; };
    auto put32 = [](size_t at, uint32_t v) { return [=](Stream& s) { patch(s, at, Bytes().u32(v)); }; };
    auto put64 = [](size_t at, uint64_t v) { return [=](Stream& s) { patch(s, at, Bytes().u64(v)); }; };
    const size_t toc0 = b.nodal[0].toc, toc2 = b.nodal[2].toc;  // node groups 0 and 1's HWDATA
    const Damage table[] = {
        {"an unknown dumpTypeCode", put16(kTypeCode, 99),
         {{22, "dumpTypeCode 99 is none of 15 (SYS), 17 (HWU), 0 (RSC)"}}},
        {"a file name naming another dump", [](Stream& s) { s[kFileNameId + 7] = 'B'; },
         {{40, "dumpFileName names dump \"0000001B\", the summary's summaryDumpId is 0000001A"}}},
        {"a file name without its NUL", [](Stream& s) { s[kFileNameId + 23] = 'x'; },
         {{63, "notice: dumpFileName is not NUL-terminated"}}},
        {"a section header's name", [](Stream& s) { s[kSectionName] = '\\'; },
         {{96, "sectionName is \"\\x5CUMP SUMMARY\", expected \"DUMP SUMMARY\""}}},
        {"a hardware sectionSize beyond 32 bits", put64(kHardwareSectionSize, 0x100000000 + 480),
         {{136, "sectionSize 4294967776 (0x1000001E0) of the hardware section exceeds 32 bits"},
          {136, "sectionSize of the hardware data section is 4294967776 (0x1000001E0), its nodal files take 480 "
                "(0x1E0) bytes (to 1712 (0x6B0))"}}},
        {"a summary of no known kind", [](Stream& s) { s[kSummary] = 0xC3; },
         {{208, "summaryEyeCatcher is \"\\xC3YS DUMP\", none of SYS DUMP, HWU DUMP, RSC DUMP"}}},
        {"a creation time that is no date", [](Stream& s) { s[kSummary + 8 + 2] = 0x13; },
         {{216, "notice: dumpCreationTime is not a valid BCD time: 2026130520301500"}}},
        {"a reserved summary byte", [](Stream& s) { s[kSummary + 519] = 1; },
         {{727, "notice: reserved summary byte is 0x01, not 0"}}},
        {"main store without its dumpFlags bit", put16(kDumpFlags, 0xA280 & ~0x2000),
         {{1712, "296 (0x128) bytes of hypervisor data follow, but dumpFlags lacks mainstoreDumpExistsFlag"}}},
        {"an mdrtTableSize of no whole entries", put32(kMdrtTableSize, 96 + 8),
         {{184, "sectionSize of the hypervisor data section is 296 (0x128), but memoryDumpSize + mdrtTableSize gives "
                "304 (0x130)"},
          {232, "totalDumpSize is 1800 (0x708), but hwDumpTotalSize + mdrtTableSize + memoryDumpSize gives 1808 "
                "(0x710)"},
          {1808, "notice: the MDRT of 104 (0x68) bytes is no whole number of 32-byte entries: its last 8 bytes are "
                 "ignored"},
          {1980, "main-store region 2 (MDRT entry at 1776 (0x6F0): 36 (0x24) bytes at address 0x0000000300000000) "
                 "runs past the end of the stream at 2008 (0x7D8): 28 (0x1C) bytes present"}}},
        {"cut inside the file header", cutAt(40),
         {{0, "the stream ends at 40 (0x28), inside the file header (64 (0x40) bytes at 0)"}}, 0, 0},
        {"cut inside a section header", cutAt(100),
         {{64, "the stream ends at 100 (0x64), inside section header 0 (48 (0x30) bytes at 64 (0x40))"}}, 0, 0},
        {"cut inside the summary", cutAt(kSummary + 500),
         {{208, "the stream ends at 708 (0x2C4), inside the summary section (1024 (0x400) bytes at 208 (0xD0))"}}, 0,
         0},
        {"cut inside a TOC", cutAt(toc0 + 60),
         {{1232, "the stream ends at 1292 (0x50C), inside the HWDATA TOC at 1232 (0x4D0) (104 (0x68) bytes at 1232 "
                 "(0x4D0))"}},
         1, 0},
        {"cut inside a data file", cutAt(b.nodal[1].data + 3),
         {{1436, "the stream ends at 1439 (0x59F), inside the data file of the SPDATA TOC at 1376 (0x560) (20 (0x14) "
                 "bytes at 1436 (0x59C))"}},
         1, 0},
        {"cut before the system section", cutAt(b.nodal[4].toc),
         {{1232, "the stream ends at 1616 (0x650), inside the hardware data section (480 (0x1E0) bytes at 1232 "
                 "(0x4D0))"}},
         2, 0},
        {"cut at the end of the hardware data: an offload without main store", cutAt(b.mdrt),
         {{1712, "notice: the stream ends after the hardware data section: the 296 (0x128) bytes of hypervisor data "
                 "its header declares were not offloaded (an offload without main store)"}},
         2, 0},
        {"cut inside the MDRT", cutAt(b.mdrt + 40),
         {{1712, "the stream ends at 1752 (0x6D8), inside the MDRT (96 (0x60) bytes at 1712 (0x6B0))"}}},
        {"cut inside a region: the next is missing, the MDRT still accounts for memoryDumpSize",
         cutAt(b.regions[1] + 50),
         {{1872, "main-store region 1 (MDRT entry at 1744 (0x6D0): 100 (0x64) bytes at address 0x0000000200001000) "
                 "runs past the end of the stream at 1922 (0x782): 50 (0x32) bytes present"},
          {1972, "main-store region 2 (MDRT entry at 1776 (0x6F0): 36 (0x24) bytes at address 0x0000000300000000) "
                 "runs past the end of the stream at 1922 (0x782): 0 bytes present"}}},
        {"hardware sectionSize 16 too large", put64(kHardwareSectionSize, 480 + 16),
         {{136, "sectionSize of the hardware data section is 496 (0x1F0), its nodal files take 480 (0x1E0) bytes "
                "(to 1712 (0x6B0))"}}},
        {"hardware sectionSize 16 too small", put64(kHardwareSectionSize, 480 - 16),
         {{136, "sectionSize of the hardware data section is 464 (0x1D0), its nodal files take 480 (0x1E0) bytes "
                "(to 1712 (0x6B0))"}}},
        {"totalDumpSize one too large", put64(kTotalDumpSize, 1800 + 1),
         {{232, "totalDumpSize is 1801 (0x709), but hwDumpTotalSize + mdrtTableSize + memoryDumpSize gives 1800 "
                "(0x708)"}}},
        {"nodalDataSize 4 too small", put32(kNodalDataSize, 120 - 4),
         {{772, "nodalDataSize is 116 (0x74), but the nodal data files found gives 120 (0x78)"}}},
        {"fileHeaderSize of a hardware-unit dump", put16(kFileHeaderSize, 160),
         {{316, "fileHeaderSize is 160 (0xA0), but the offloaded header gives 208 (0xD0)"}}},
        {"an SPDATA item past its data file", put32(b.nodal[1].entries[0] + kSpEntryDataSize, 1000),
         {{1424, "entry 0 of the SPDATA TOC at 1376 (0x560): item of 1000 (0x3E8) bytes at data offset 0 ends at "
                 "1000 (0x3E8), past its data file of 20 (0x14) bytes"}}},
        {"an HWDATA item starting past its data file", put32(b.nodal[0].entries[1] + kHwEntryDataOffset, 0x100),
         {{1308, "entry 1 of the HWDATA TOC at 1232 (0x4D0): item of 9 bytes at data offset 256 (0x100) ends at 265 "
                 "(0x109), past its data file of 40 (0x28) bytes"}}},
        {"a SYSDATA item not where the previous ends", put32(b.nodal[4].entries[1] + kSpEntryDataOffset, 11),
         {{1676, "entry 1 of the SYSDATA TOC at 1616 (0x650): item starts at data offset 11 (0xB), the previous item "
                 "ends at 12 (0xC)"},
          {1704, "notice: SYSDATA TOC at 1616 (0x650): pad byte is 0xA4, not 0"}}},
        {"a TOC totalSize that lies: the boundary by dataFileSize is taken", put32(toc0 + kTocTotalSize, 144 + 16),
         {{1248, "HWDATA TOC at 1232 (0x4D0): totalSize 160 (0xA0) disagrees with 48 + entrySize x entryCount + "
                 "dataFileSize = 144 (0x90); the data file is taken to end at 1376 (0x560) (by dataFileSize)"}}},
        {"a TOC dataFileSize that lies: only totalSize leads to the next TOC", put32(toc0 + kTocDataFileSize, 40 + 16),
         {{1248, "HWDATA TOC at 1232 (0x4D0): totalSize 144 (0x90) disagrees with 48 + entrySize x entryCount + "
                 "dataFileSize = 160 (0xA0); the data file is taken to end at 1376 (0x560) (by totalSize)"}}},
        {"the last TOC's dataFileSize that lies: the section's end is taken",
         put32(b.nodal[4].toc + kTocDataFileSize, 33),
         {{1632, "SYSDATA TOC at 1616 (0x650): totalSize 96 (0x60) disagrees with 48 + entrySize x entryCount + "
                 "dataFileSize = 105 (0x69); the data file is taken to end at 1712 (0x6B0) (by totalSize)"}}},
        {"a TOC entryCount beyond the stream: 16 entries listed, the rest counted",
         put32(toc0 + kTocEntryCount, 0x0FFFFFFF),
         {{1232, "the stream ends at 2008 (0x7D8), inside the HWDATA TOC at 1232 (0x4D0) (7516192788 (0x1C0000014) "
                 "bytes at 1232 (0x4D0))"},
          {1248, "HWDATA TOC at 1232 (0x4D0): totalSize 144 (0x90) disagrees with 48 + entrySize x entryCount + "
                 "dataFileSize = 7516192828 (0x1C000003C); the data file is taken to end at 7516194060 (0x1C000050C) "
                 "(by dataFileSize)"},
          {1784, "entry 18 of the HWDATA TOC at 1232 (0x4D0): item of 2863311530 (0xAAAAAAAA) bytes at data offset 0 "
                 "ends at 2863311530 (0xAAAAAAAA), past its data file of 40 (0x28) bytes"},
          {1812, "7 more inconsistencies in the entries of the HWDATA TOC at 1232 (0x4D0) not listed, the first at "
                 "offset 1812 (0x714)"}},
         1, 0, 19},
        {"a hardware TOC's contentCode", put32(toc0 + kTocContentCode, 5),
         {{1244, "HWDATA contentCode is 5, expected 0 or 2"}}},
        {"an item 16 bytes shorter than its data file", put32(b.nodal[2].entries[0] + kHwEntryDataSize, 33 - 16),
         {{1549, "HWDATA TOC at 1456 (0x5B0): 19 (0x13) bytes follow the last item in the data file; padding is at "
                 "most 15"}}},
        {"an MDRT length beyond the stream", put32(b.mdrt + 32 + kMdrtLength, 0x10000000),
         {{792, "memoryDumpSize is 200 (0xC8), but the lengths in the MDRT gives 268435556 (0x10000064)"},
          {1872, "main-store region 1 (MDRT entry at 1744 (0x6D0): 268435456 (0x10000000) bytes at address "
                 "0x0000000200001000) runs past the end of the stream at 2008 (0x7D8): 136 (0x88) bytes present"},
          {268437328, "main-store region 2 (MDRT entry at 1776 (0x6F0): 36 (0x24) bytes at address "
                      "0x0000000300000000) runs past the end of the stream at 2008 (0x7D8): 0 bytes present"}}},
        {"bytes after the last region", [](Stream& s) { s.resize(s.size() + 5, 0xEE); },
         {{2008, "5 bytes follow the last main-store region, which ends at 2008 (0x7D8)"}}},
        {"bytes after a hardware-unit dump", [&hwu](Stream& s) { (s = hwu.bytes).resize(s.size() + 7, 0); },
         {{1392, "7 bytes follow the hardware data section, the last section of a 160-byte header"}},
         1, 0},
        {"bytes that are no TOC: skipped by the section's declared size",
         [toc2](Stream& s) { std::copy_n("GARBAGE!", 8, s.begin() + static_cast<std::ptrdiff_t>(toc2)); },
         {{766, "notice: hardwareNodeCount is 2, the stream holds 1 node groups"},
          {772, "nodalDataSize is 120 (0x78), but the nodal data files found gives 60 (0x3C)"},
          {1456, "the bytes at 1456 (0x5B0) are no nodal TOC header (HWDATA, SPDATA or SYSDATA), inside the hardware "
                 "data section that ends at 1712 (0x6B0)"}},
         1, 1712},
        {"a type code that contradicts the summary: the summary is read where it stands", put16(kTypeCode, 17),
         {{22, "dumpTypeCode 17 (HWU) gives a 160-byte header, but the summary starts at 208"},
          {24, "dumpFileName prefix is \"SYSDUMP\", expected \"HWUDUMP\""},
          {208, "summaryEyeCatcher \"SYS DUMP\" disagrees with dumpTypeCode 17"}}},
    };
    for (const Damage& row : table) {
        Stream bytes = b.bytes;
        row.apply(bytes);
        const DecodedStream d = decodeBytes(bytes);
        const Listed found = findingsOf(d);
        if (row.findingCount == 0) {
            EXPECT_EQ(found, row.findings) << row.what;
        } else {
            EXPECT_EQ(found.size(), row.findingCount) << row.what << ": " << ::testing::PrintToString(found);
            for (const auto& f : row.findings)
                EXPECT_NE(std::find(found.begin(), found.end(), f), found.end()) << row.what << ": " << f.second;
        }
        EXPECT_EQ(d.hardware ? d.hardware->groups.size() : 0, row.groups) << row.what;
        EXPECT_EQ(d.hypervisor ? d.hypervisor->offset : 0, row.hypervisorAt) << row.what;
    }
}

TEST(DamagedStream, EveryTruncationIsAnErrorExceptTheEndOfTheHardwareData) {
    const Built b = build(systemDump());
    for (size_t length = 0; length < b.bytes.size(); ++length) {
        const DecodedStream d = decodeBytes(Stream(b.bytes.begin(), b.bytes.begin() + static_cast<long>(length)));
        // At the end of the hardware data: an offload without main store.
        EXPECT_EQ(d.consistent(), length == b.mdrt)
            << "cut at " << length << ": " << ::testing::PrintToString(findingsOf(d));
    }
}

}  // namespace
