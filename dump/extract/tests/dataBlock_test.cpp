// File blocks and the block base: the failure table of their reads and a
// file block's removal. (Blocks serving the asked range, and the list that
// holds them, show in the stream and list tests.)
#include "platdump/dumpDataBlock.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class DataBlocks : public DumpTest {
protected:
    // The buffer's address as the library's sections carry it (low 32 bits).
    std::string out() const { return hex8(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(iv_out))); }
    char iv_out[4] = {'#', '#', '#', '#'};
    char iv_name[24] = "/plat_dump/steps.dat";
};

TEST_F(DataBlocks, FailureTable) {
    auto file = [this](uint32_t size, const char* failing) {
        return [=] {
            writeFile(primary(iv_name), std::string("abcdefghijklmnop").substr(0, size));
            platsim::setFault(failing, "count=1 errno=5");
        };
    };
    auto read = [this](uint32_t offset, uint32_t length) {
        return [=] { return DumpDataBlockFile(16, iv_name).getData(offset, length, iv_out, nullptr); };
    };
    auto filled = [this](const char* bytes) { return [=] { EXPECT_EQ(std::string(iv_out, 4), bytes); }; };
    // The log of a failed step (1 open, 2 seek, 3 read, 4 close): the buffer, length and offset asked.
    auto failed = [this](const char* reason, int step, const std::string& asked = "00000003" "00000000" "00000006") {
        return "platform:" + std::string(reason) + " rc=5 sev=40 cp=011E:" + std::to_string(step) +
               ":0 DumpBufferDataInfo=" + out() + asked;
    };
    expectRows({
        {"a block of no concrete kind", nullptr, [this] { return DumpDataBlock().getData(7, 4, iv_out, nullptr); },
         "01220F01 7 4 " + hex(std::stoul(out(), nullptr, 16)) + " rc=B sev=20 tr=dump", {}},
        {"the file cannot be opened", file(16, "UtilFile.Open"), read(6, 3), failed("1101", 1), {}, filled("####")},
        {"the seek fails", file(16, "UtilFile.seek"), read(6, 3), failed("1104", 2), {}, filled("####")},
        {"the read fails", file(16, "UtilFile.read"), read(6, 3), failed("1102", 3), {}, filled("####")},
        {"the close fails", file(16, "UtilFile.Close"), read(6, 3), failed("1105", 4), {}, filled("ghi#")},
        {"the close fails after a read of nothing", file(0, "UtilFile.Close"), read(0, 0),
         failed("1105", 4, std::string(24, '0')), {}},
    });
}

TEST_F(DataBlocks, FileBlockRemovesItsFileHereAndOnTheBackup) {
    for (const std::string& side : {primary(iv_name), backup(iv_name)}) writeFile(side, "x");
    DumpDataBlockFile block(1, iv_name);
    EXPECT_EQ(block.remove(), nullptr);
    EXPECT_FALSE(fileExists(primary(iv_name)) || fileExists(backup(iv_name)));
    EXPECT_NE(signature(block.remove()), "") << "removing a missing file fails";
    EXPECT_EQ(DumpDataBlock().remove(), nullptr);
    EXPECT_EQ(DumpDataBlock().getSize(), 0u);
    DumpList list;  // holds a null block, and skips it when it deletes its blocks
    EXPECT_TRUE(list.append(nullptr) && list.append(new DumpDataBlock));
}

}  // namespace
