// buildDumpList: when the main-store part is left out, the first block's
// length, and the failure table of the list's MDRT. (The blocks of each
// kind of dump, in order, show in the stream tests' bytes.)
#include <utility>

#include "platdump/dumpDataBlock.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;
using Shape = std::vector<std::pair<int, uint32_t>>;

namespace {

constexpr int MS = DumpDataBlock::BLOCK_MS, FILE_ = DumpDataBlock::BLOCK_FILE, TCE = DumpDataBlock::BLOCK_TCE;
constexpr uint16_t kComplete = 0x8000, kMainStore = 0x2000;
const Shape kHardwareOnly = {{MS, 208}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}};

class ExtractList : public DumpTest {
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
        std::string name = dumpFile(k, "MDRT");
        writeFile(primary(name), table);
        open(k)->setMDRTFileName(name, size);
    }
    static Shape plus(Shape s, const Shape& more) {
        s.insert(s.end(), more.begin(), more.end());
        return s;
    }
};

TEST_F(ExtractList, MainStorePartOnlyWhenAskedForAndPresentAndTheFirstBlockAsTheHeaderSays) {
    makeDump(kSys, kComplete | kMainStore, Parts().mainStore({{0x1000, 0x10}}));
    EXPECT_EQ(shape(kSys, 1, false), kHardwareOnly);
    setMdrt(kSys, "", 0);
    EXPECT_EQ(shape(kSys, 1, true), plus(kHardwareOnly, {{FILE_, 0}}));
    open(kSys)->setDumpFlags(kComplete);
    EXPECT_EQ(shape(kSys, 1, true), kHardwareOnly);

    // The first block is as long as the file header size says.
    constexpr size_t kHeaderSizeAt = 316;
    patch(kSys, kHeaderSizeAt, {0x01, 0x2C});  // 300
    EXPECT_EQ(shape(kSys, 0, false), (Shape{{MS, 300}, {MS, 1024}, {FILE_, 0}, {FILE_, 0}}));
    // Left open: a field beyond the images; they end the block.
    patch(kSys, kHeaderSizeAt, {0xFF, 0xFF});
    EXPECT_EQ(shape(kSys, 0, false)[0], std::make_pair(MS, 4372u));
}

// An MDRT that cannot be read, or whose recorded size is beyond 32768
// entries (refused before anything is allocated for it: a damaged summary
// once had every request zero 4 GiB), costs only the regions; the largest
// table is read, zeros after the file's end, and so is a small one.
TEST_F(ExtractList, FailureTable) {
    const std::vector<Region> regions = {{0x1000, 0x10}, {0x2000, 0x10}};
    auto mdrt = [=](const char* fault, unsigned size) {
        return [=] {
            makeDump(kSys, kComplete | kMainStore, Parts().mainStore(regions));
            if (size) setMdrt(kSys, mdrtOf(regions), size);
            if (*fault) platsim::setFault("UtilFile.Open", fault);
        };
    };
    auto list = [this](Shape expected) {
        return [this, expected] {
            EXPECT_EQ(shape(kSys, 1, true), expected);
            return static_cast<ErrlEntry*>(nullptr);
        };
    };
    auto read = [](uint32_t size) {  // a table of size bytes: the two regions, then empty entries
        Shape s = plus(kHardwareOnly, {{FILE_, size}, {TCE, 0x10}, {TCE, 0x10}});
        s.resize(s.size() + size / 32 - 2, {TCE, 0});
        return s;
    };
    expectRows({
        {"the MDRT file cannot be read", mdrt("match=MDRT count=1", 0), list(plus(kHardwareOnly, {{FILE_, 64}})), "",
         {"platform:1101 rc=5 sev=40 cp=011E:1:0 cp=1306:2F:0 DumpBufferDataInfo=********000000400000000000000000"}},
        {"the largest table", mdrt("", 0x100000), list(read(0x100000)), "", {}},
        // A small table is read on the stack, after calls that left bytes there.
        {"a small table", mdrt("", 0x400), list(read(0x400)), "", {}},
        {"a table one byte larger", mdrt("", 0x100001), list(plus(kHardwareOnly, {{FILE_, 0x100001}})), "",
         {"13060F30 100001 0 0 rc=B sev=20 tr=dump"}},
        {"a table of 4 GiB", mdrt("", 0xFFFFFFFF), list(plus(kHardwareOnly, {{FILE_, 0xFFFFFFFF}})), "",
         {"13060F30 FFFFFFFF 0 0 rc=B sev=20 tr=dump"}},
    });
}

}  // namespace
