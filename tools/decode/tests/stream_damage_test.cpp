// Damaged streams: every inconsistency is reported at the byte offset of
// the field or record at fault, the rest of the stream is still decoded
// where it can be, and nothing is read past the end (these tests run under
// AddressSanitizer on vectors of exactly the damaged length).
#include "decodeFixture.h"

using namespace decode;
using namespace decodetest;
using namespace streamfixture;

namespace {

using Offsets = std::vector<uint64_t>;

class DamagedStream : public testsupport::SimTest {
protected:
    Built b = build(systemDump());
};

constexpr size_t kHardwareSectionSize = 112 + 24;  // sectionSize of section header 1
constexpr size_t kSummary = 208;
constexpr size_t kTotalDumpSize = kSummary + 24;
constexpr size_t kNodalDataSize = kSummary + 564;
constexpr size_t kMemoryDumpSize = kSummary + 584;
constexpr size_t kTocTotalSize = 16, kTocDataFileSize = 24, kTocEntryCount = 28;
constexpr size_t kSpEntryDataSize = 8, kHwEntryDataOffset = 16;
constexpr size_t kMdrtLength = 20;

TEST_F(DamagedStream, EveryTruncationIsAnErrorExceptTheEndOfTheHardwareData) {
    for (size_t length = 0; length < b.bytes.size(); ++length) {
        DecodedStream d = decodeBytes(cut(b.bytes, length));
        if (length == b.mdrt) {
            // Indistinguishable from an offload without main store.
            EXPECT_TRUE(d.consistent()) << describe(d);
            continue;
        }
        ASSERT_FALSE(d.consistent()) << "cut at " << length;
    }
}

TEST_F(DamagedStream, TruncationNamesTheRecordItCuts) {
    struct Case {
        size_t length;
        uint64_t offset;
        const char* text;
    };
    const Case cases[] = {
        {40, 0, "inside the file header"},
        {100, 64, "inside section header 0"},
        {kSummary + 500, kSummary, "inside the summary section"},
        {b.nodal[0].toc + 60, b.nodal[0].toc, "inside the HWDATA TOC at"},
        {b.nodal[1].data + 3, b.nodal[1].data, "inside the data file of the SPDATA TOC at"},
        {b.nodal[4].toc, b.hardware, "inside the hardware data section"},
        {b.mdrt + 40, b.mdrt, "inside the MDRT"},
        {b.regions[1] + 50, b.regions[1], "main-store region 1"},
    };
    for (const Case& c : cases) {
        DecodedStream d = decodeBytes(cut(b.bytes, c.length));
        EXPECT_NE(findingAt(d, c.offset, c.text), "") << "cut at " << c.length << ":\n" << describe(d);
    }
    // A region cut short: the one after it is missing altogether, and the
    // MDRT, being whole, still accounts for memoryDumpSize.
    DecodedStream d = decodeBytes(cut(b.bytes, b.regions[1] + 50));
    EXPECT_EQ(errorOffsets(d), (Offsets{b.regions[1], b.regions[2]})) << describe(d);
    ASSERT_TRUE(d.hypervisor);
    EXPECT_EQ(d.hypervisor->regions[1].present, 50u);
    EXPECT_EQ(d.hypervisor->regions[2].present, 0u);
}

TEST_F(DamagedStream, HardwareSectionSizeThatLies) {
    for (int64_t lie : {16, -16}) {
        std::vector<uint8_t> bytes = b.bytes;
        patch64(bytes, kHardwareSectionSize, b.hardwareLength + lie);
        DecodedStream d = decodeBytes(bytes);
        EXPECT_EQ(errorOffsets(d), Offsets{kHardwareSectionSize}) << describe(d);
        EXPECT_NE(findingAt(d, kHardwareSectionSize, "its nodal files take " + std::to_string(b.hardwareLength)), "");
        // The walk by the TOC headers still finds the hypervisor data.
        ASSERT_TRUE(d.hypervisor);
        EXPECT_EQ(d.hypervisor->offset, b.mdrt);
        EXPECT_EQ(d.hypervisor->regions.size(), 3u);
    }
}

TEST_F(DamagedStream, SummarySizesThatLie) {
    std::vector<uint8_t> bytes = b.bytes;
    patch64(bytes, kTotalDumpSize, b.totalDumpSize + 1);
    DecodedStream d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{kTotalDumpSize}) << describe(d);

    bytes = b.bytes;
    patch32(bytes, kNodalDataSize, static_cast<uint32_t>(b.nodalDataSize - 4));
    d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{kNodalDataSize}) << describe(d);

    bytes = b.bytes;
    patch16(bytes, kSummary + 108, 160);  // fileHeaderSize
    d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{kSummary + 108}) << describe(d);
}

TEST_F(DamagedStream, TocEntryPointingPastItsData) {
    // The SPDATA item of node group 0 claims 1000 bytes of a 20-byte file (10 of item, 10 pad).
    std::vector<uint8_t> bytes = b.bytes;
    const size_t spEntry = b.nodal[1].entries[0];
    patch32(bytes, spEntry + kSpEntryDataSize, 1000);
    DecodedStream d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{spEntry}) << describe(d);
    EXPECT_NE(findingAt(d, spEntry, "past its data file of 20 (0x14) bytes"), "") << describe(d);

    // The second HWDATA item starts beyond the data file.
    bytes = b.bytes;
    const size_t hwEntry = b.nodal[0].entries[1];
    patch32(bytes, hwEntry + kHwEntryDataOffset, 0x100);
    d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{hwEntry}) << describe(d);

    // A SYSDATA item that does not start where the previous one ends.
    bytes = b.bytes;
    const size_t sysEntry = b.nodal[4].entries[1];
    patch32(bytes, sysEntry + 4, 11);
    d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{sysEntry}) << describe(d);
    EXPECT_NE(findingAt(d, sysEntry, "the previous item ends at 12"), "");
}

TEST_F(DamagedStream, TocSizesThatDisagreeAreReportedAndTheWalkGoesOn) {
    const size_t toc = b.nodal[0].toc;
    // totalSize lies: the boundary by dataFileSize is taken.
    std::vector<uint8_t> bytes = b.bytes;
    patch32(bytes, toc + kTocTotalSize, 144 + 16);
    DecodedStream d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{toc + kTocTotalSize}) << describe(d);
    EXPECT_NE(findingAt(d, toc + kTocTotalSize, "(by dataFileSize)"), "");
    ASSERT_TRUE(d.hardware);
    EXPECT_EQ(d.hardware->groups.size(), 2u);

    // dataFileSize lies: only totalSize leads to the next TOC header.
    bytes = b.bytes;
    patch32(bytes, toc + kTocDataFileSize, 40 + 16);
    d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{toc + kTocTotalSize}) << describe(d);
    EXPECT_NE(findingAt(d, toc + kTocTotalSize, "(by totalSize)"), "");
    ASSERT_TRUE(d.hardware && d.hardware->groups.size() == 2 && d.hardware->groups[0].hardware);
    EXPECT_EQ(d.hardware->groups[0].hardware->dataLength, 40u);
    EXPECT_TRUE(d.hypervisor);
}

TEST_F(DamagedStream, EntryCountBeyondTheStream) {
    std::vector<uint8_t> bytes = b.bytes;
    const size_t toc = b.nodal[2].toc;
    patch32(bytes, toc + kTocEntryCount, 0x0FFFFFFF);
    DecodedStream d = decodeBytes(bytes);
    EXPECT_NE(findingAt(d, toc, "inside the HWDATA TOC at"), "") << describe(d);
    EXPECT_NE(findingAt(d, toc + kTocTotalSize, "disagrees"), "") << describe(d);
    ASSERT_TRUE(d.hardware);
    EXPECT_TRUE(d.hardware->cut);
    EXPECT_FALSE(d.hypervisor);
}

TEST_F(DamagedStream, MdrtLengthBeyondTheStream) {
    std::vector<uint8_t> bytes = b.bytes;
    patch32(bytes, b.mdrt + 32 + kMdrtLength, 0x10000000);
    DecodedStream d = decodeBytes(bytes);
    EXPECT_NE(findingAt(d, b.regions[1], "runs past the end of the stream"), "") << describe(d);
    EXPECT_NE(findingAt(d, kMemoryDumpSize, "the lengths in the MDRT"), "") << describe(d);
    ASSERT_TRUE(d.hypervisor);
    EXPECT_EQ(d.hypervisor->regions[1].present, 136u);  // the rest of the stream
}

TEST_F(DamagedStream, BytesBeyondTheLastSection) {
    std::vector<uint8_t> bytes = b.bytes;
    bytes.resize(bytes.size() + 5, 0xEE);
    DecodedStream d = decodeBytes(bytes);
    EXPECT_EQ(errorOffsets(d), Offsets{b.bytes.size()}) << describe(d);

    Built hwu = build(hardwareUnitDump());
    bytes = hwu.bytes;
    bytes.resize(bytes.size() + 7, 0);
    d = decodeBytes(bytes);
    EXPECT_NE(findingAt(d, hwu.bytes.size(), "follow the hardware data section"), "") << describe(d);
}

TEST_F(DamagedStream, BytesThatAreNoTocAreSkippedByTheDeclaredSize) {
    std::vector<uint8_t> bytes = b.bytes;
    const size_t toc = b.nodal[2].toc;
    std::copy_n("GARBAGE!", 8, bytes.begin() + static_cast<std::ptrdiff_t>(toc));
    DecodedStream d = decodeBytes(bytes);
    EXPECT_NE(findingAt(d, toc, "no nodal TOC header"), "") << describe(d);
    EXPECT_NE(findingAt(d, kNodalDataSize, "nodal data files found"), "") << describe(d);
    ASSERT_TRUE(d.hardware);
    EXPECT_EQ(d.hardware->groups.size(), 1u);
    ASSERT_TRUE(d.hypervisor);
    EXPECT_EQ(d.hypervisor->offset, b.mdrt);
}

TEST_F(DamagedStream, TypeCodeThatContradictsTheSummary) {
    std::vector<uint8_t> bytes = b.bytes;
    patch16(bytes, 22, 17);  // HWU, but the summary stands at 208
    DecodedStream d = decodeBytes(bytes);
    EXPECT_NE(findingAt(d, 22, "the summary starts at 208"), "") << describe(d);
    EXPECT_EQ(d.header.offloadedSize, 208u);
    ASSERT_TRUE(d.summary);
    EXPECT_EQ(d.summary->summaryDumpId, 0x1Au);
}


// Bytes and fields overwritten at random (a fixed seed): whatever the
// damage, the decoded parts stay inside the stream.
TEST_F(DamagedStream, RandomDamageStaysInsideTheStream) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    const uint32_t extremes[] = {0, 1, 0x7FFFFFFF, 0xFFFFFFFF, 0x10000, 48};
    for (int round = 0; round < 600; ++round) {
        std::vector<uint8_t> bytes = b.bytes;
        for (int k = 0; k < 3; ++k) {
            size_t at = next() % (bytes.size() - 8);
            if (next() % 2)
                patch32(bytes, at, extremes[next() % 6]);
            else
                bytes[at] = static_cast<uint8_t>(next());
        }
        bytes.resize(bytes.size() - next() % 64);
        DecodedStream d = decodeBytes(bytes);
        ASSERT_EQ(d.size, bytes.size());
        if (d.hardware) {
            ASSERT_LE(d.hardware->end(), bytes.size()) << "round " << round;
        }
        if (d.hypervisor) {
            ASSERT_LE(d.hypervisor->offset + d.hypervisor->length, bytes.size()) << "round " << round;
        }
    }
}

}  // namespace
