// Failures of file blocks, the block base and the block list. (Memory and
// file blocks serving the asked range show in the stream tests.)
#include <string>
#include <vector>

#include "dump/summary/tests/summaryTest.h"
#include "platdump/dumpDataBlock.h"

using namespace testsupport;

namespace {

class DataBlocks : public summarytest::SummaryTest {};

// The low 32 bits of an address, as the library's sections carry it.
uint32_t addressWord(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

TEST_F(DataBlocks, EachFailedFileStepReportsItsLocationAndTheRequest) {
    writeFile(primary("/plat_dump/steps.dat"), "abcdefghijklmnop");
    char name[] = "/plat_dump/steps.dat";
    DumpDataBlockFile block(16, name);
    struct Step {
        const char* fault;
        uint8_t location;
        bool bufferFilled;
    };
    for (Step step : {Step{"UtilFile.Open", 1, false}, Step{"UtilFile.seek", 2, false},
                      Step{"UtilFile.read", 3, false}, Step{"UtilFile.Close", 4, true}}) {
        SCOPED_TRACE(step.fault);
        platsim::setFault(step.fault, "count=1 errno=5");
        char out[4] = {'#', '#', '#', '#'};
        Json j = committed(block.getData(6, 3, out, nullptr));
        EXPECT_EQ(j["rc"], 5) << "the file object's return code stands";
        ASSERT_EQ(j["srcs"].size(), 1u) << "no SRC of the library's own";
        EXPECT_EQ(j["callPoints"], Json::array({Json{{"component", 0xF000}, {"function", 0x0100}, {"file", 0x1E},
                                                     {"location", step.location}, {"word", 0}}}));
        EXPECT_EQ(userDataBytes(j, "DumpBufferDataInfo"),
                  Bytes().u32(addressWord(out)).u32(3).u32(0).u32(6).bytes());
        EXPECT_EQ(std::string(out, 4), step.bufferFilled ? "ghi#" : "####");
        platsim::clearFault(step.fault);
    }
}

TEST_F(DataBlocks, ZeroLengthReadGoesThroughEveryStepToTheClose) {
    writeFile(primary("/plat_dump/empty.dat"), "");
    char name[] = "/plat_dump/empty.dat";
    char out[2];
    platsim::setFault("UtilFile.Close", "count=1");
    Json j = committed(DumpDataBlockFile(0, name).getData(0, 0, out, nullptr));
    EXPECT_EQ(j["callPoints"][0]["location"], 4);
    EXPECT_EQ(userDataBytes(j, "DumpBufferDataInfo"),
              Bytes().u32(addressWord(out)).u32(0).u32(0).u32(0).bytes());
}

TEST_F(DataBlocks, FileBlockRemovesItsFileHereAndOnTheBackup) {
    writeFile(primary("/plat_dump/gone.dat"), "x");
    writeFile(backup("/plat_dump/gone.dat"), "x");
    char name[] = "/plat_dump/gone.dat";
    DumpDataBlockFile block(1, name);
    EXPECT_EQ(block.remove(), nullptr);
    EXPECT_FALSE(fileExists(primary("/plat_dump/gone.dat")));
    EXPECT_FALSE(fileExists(backup("/plat_dump/gone.dat")));
    ErrlEntry* again = block.remove();
    EXPECT_NE(again, nullptr) << "removing a missing file fails";
    delete again;
}

TEST_F(DataBlocks, BlockOfNoKindRefusesToRead) {
    DumpDataBlock block;
    EXPECT_EQ(block.getSize(), 0u);
    char out[4];
    Json j = committed(block.getData(7, 4, out, nullptr));
    EXPECT_EQ(j["rc"], 0xB);
    EXPECT_EQ(j["srcs"][0]["reasonCode"], 0xF00F);
    EXPECT_EQ(j["srcs"][0]["words"], Json::array({0x01220F01u, 7, 4, addressWord(out)}));
    EXPECT_EQ(block.remove(), nullptr);
}

// Records the order in which blocks are destroyed.
std::vector<int> g_destroyed;

class TaggedBlock : public DumpDataBlock {
public:
    explicit TaggedBlock(int tag) : iv_tag(tag) {}
    ~TaggedBlock() override { g_destroyed.push_back(iv_tag); }

private:
    int iv_tag;
};

TEST_F(DataBlocks, ListKeepsOrderAndDeletesItsBlocksSkippingNulls) {
    g_destroyed.clear();
    {
        DumpList list;
        EXPECT_EQ(list.size(), 0u);
        EXPECT_TRUE(list.append(new TaggedBlock(1)));
        EXPECT_TRUE(list.append(nullptr));
        EXPECT_TRUE(list.append(new TaggedBlock(2)));
        EXPECT_TRUE(list.append(new TaggedBlock(3)));
        std::vector<DumpDataBlock*> seen(list.begin(), list.end());
        ASSERT_EQ(seen.size(), 4u);
        EXPECT_EQ(seen[1], nullptr);
        EXPECT_TRUE(g_destroyed.empty());
    }
    EXPECT_EQ(g_destroyed, (std::vector<int>{1, 2, 3}));
}

}  // namespace
