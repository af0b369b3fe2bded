// buildDumpList: which blocks a dump's summary turns into, in which order,
// of which kind and size (the bytes they serve are checked by the stream
// tests).
#include <memory>
#include <utility>

#include "dump/extract/tests/extractTest.h"
#include "platdump/dumpDataBlock.h"

using namespace extracttest;
using summarytest::kHwu;
using summarytest::kSys;
using Shape = std::vector<std::pair<int, uint32_t>>;

namespace {

constexpr int MS = DumpDataBlock::BLOCK_MS;
constexpr int FILE_ = DumpDataBlock::BLOCK_FILE;
constexpr int TCE = DumpDataBlock::BLOCK_TCE;
constexpr int DMAE = DumpDataBlock::BLOCK_DMAE;

class ExtractList : public ExtractTest {
protected:
    // Type and size of every block of dump k's list.
    Shape shape(const Kind& k, uint8_t useTce, bool includeMainStore) {
        std::unique_ptr<DumpList> list(open(k)->buildDumpList(useTce, includeMainStore));
        Shape out;
        for (const DumpDataBlock* b : *list) out.push_back({b->getType(), b->getSize()});
        return out;
    }
    // Replaces dump k's MDRT file with table, of the given recorded size.
    void setMdrt(const Kind& k, const std::string& table, unsigned int size) {
        std::string name = nodalPath(k, "MDRT");
        testsupport::writeFile(primary(name), table);
        open(k)->setMDRTFileName(name, size);
    }
};

TEST_F(ExtractList, HeaderSummarySystemFilesThenMdrtAndItsWholeEntries) {
    const std::vector<Region> regions = {{0x1000, 0x10}, {0x9000, 0x30}, {0x2000, 0x20}};
    for (const Kind& k : {kSys, kHwu}) {
        SCOPED_TRACE(k.fileName);
        makeDump(k, kComplete | kMainStore, regions);
        setMdrt(k, mdrtOf(regions, 4), 100);
        for (uint8_t useTce : {0, 1}) {
            int region = useTce ? TCE : DMAE;
            EXPECT_EQ(shape(k, useTce, true),
                      (Shape{{MS, k.fileHeaderSize}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}, {FILE_, 100},
                             {region, 0x10}, {region, 0x30}, {region, 0x20}}));
        }
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(ExtractList, MainStorePartOnlyWhenAskedForAndPresent) {
    const Shape hardwareOnly = {{MS, 208}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}};
    makeDump(kSys, kComplete | kMainStore, {{0x1000, 0x10}});
    EXPECT_EQ(shape(kSys, 1, false), hardwareOnly);
    setMdrt(kSys, "", 0);
    Shape emptyTable = hardwareOnly;
    emptyTable.push_back({FILE_, 0});
    EXPECT_EQ(shape(kSys, 1, true), emptyTable);

    open()->setDumpFlags(kComplete);
    EXPECT_EQ(shape(kSys, 1, true), hardwareOnly);
}

TEST_F(ExtractList, TheFirstBlockIsAsLongAsTheFileHeaderSizeSays) {
    constexpr size_t kHeaderSizeAt = 316;
    makeDump(kSys, kComplete);
    setSystem(11, 2);
    patchFile(kSys, kHeaderSizeAt, {0x01, 0x2C});  // 300
    EXPECT_EQ(shape(kSys, 0, false), (Shape{{MS, 300}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}}));
    // The stream moves with it: 300 bytes from the file's start, then the
    // summary region.
    const std::vector<uint8_t> file = primaryBytes(kSys);
    Extracted x = extract(kSys.id, 0, 300 + 1024);
    ASSERT_FALSE(x.failed) << x.entry.dump();
    EXPECT_TRUE(x.bytes == std::string(file.begin(), file.begin() + 300) +
                               std::string(file.begin() + 208, file.begin() + 1232));

    // A damaged field cannot reach past the summary's images.
    patchFile(kSys, kHeaderSizeAt, {0xFF, 0xFF});
    EXPECT_EQ(shape(kSys, 0, false)[0], std::make_pair(MS, 4372u));
}

TEST_F(ExtractList, UnreadableMdrtCostsOnlyTheRegions) {
    makeDump(kSys, kComplete | kMainStore, {{0x1000, 0x10}, {0x2000, 0x10}});
    platsim::setFault("UtilFile.Open", "match=MDRT count=1");
    EXPECT_EQ(shape(kSys, 0, true),
              (Shape{{MS, 208}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}, {FILE_, 64}}));
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(hasCallPoint(logs[0], 0x011E, 1, 0));
    EXPECT_TRUE(hasCallPoint(logs[0], 0x1306, 0x2F, 0));
}

// A recorded size beyond 32768 entries is refused before anything is
// allocated for it (a damaged summary once had every request zero 4 GiB);
// the largest table is read, zeros after the file's end, and so is a small
// one (read on the stack, after calls that left bytes there).
TEST_F(ExtractList, MdrtBeyondTheLargestTableCostsOnlyTheRegions) {
    const std::vector<Region> regions = {{0x1000, 0x10}};
    makeDump(kSys, kComplete | kMainStore, regions);
    for (uint32_t size : {0x100000u, 0x100001u, 0xFFFFFFFFu, 0x400u}) {
        const bool readable = size <= 0x100000u;
        const size_t logsBefore = errlog().size();
        setMdrt(kSys, mdrtOf(regions), size);
        Shape expected{{MS, 208}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}, {FILE_, size}};
        if (readable) {
            expected.push_back({TCE, 0x10});
            expected.resize(expected.size() + size / 32 - 1, {TCE, 0});
        }
        EXPECT_EQ(shape(kSys, 1, true), expected) << size;
        std::vector<Json> logs = errlog();
        ASSERT_EQ(logs.size() - logsBefore, readable ? 0u : 1u) << size;
        if (readable) continue;
        EXPECT_EQ(logs.back()["rc"], 0xB);
        EXPECT_EQ(logs.back()["srcs"][0]["words"], Json::array({0x13060F30u, size, 0, 0}));
    }
}

}  // namespace
