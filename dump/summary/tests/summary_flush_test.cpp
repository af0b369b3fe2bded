// Flush: the derived size fields follow the named nodal files, and a
// summary that nothing changed is written neither here nor on the backup.
#include <filesystem>

#include "summaryTest.h"

using namespace summarytest;
using namespace testsupport;

namespace {

constexpr uint64_t kMainStore = 0x100000000ULL;
constexpr uint32_t kMdrtTable = 0x20;

// A named nodal file: where its size is stored and its current length.
struct Nodal {
    size_t sizeOffset;
    bool data;
    std::string path;
    uint32_t bytes;
};

class SummaryFlush : public SummaryTest {
protected:
    void SetUp() override {
        SummaryTest::SetUp();
        create(kSys);
        s = open();
        s->setMemoryDumpSize(kMainStore);
        s->setMDRTTableSize(kMdrtTable);
        name(&DumpSummary::SetHWDATAFileNames, 0, 96, 1000, 1872, 2552);
        name(&DumpSummary::SetHWDATAFileNames, 3, 48, 7777, 1872 + 12, 2552 + 12);
        name(&DumpSummary::SetSPDATAFileNames, 0, 48, 64, 3232, 3912);
        std::string sysData = "/plat_dump/0000001A.SysData", sysToc = "/plat_dump/0000001A.SysTOC";
        s->SetSYSDATAFileNames(sysData, sysToc);
        add({4016, false, sysToc, 48});
        add({4084, true, sysData, 300});
    }
    void TearDown() override {
        s.reset();
        SummaryTest::TearDown();
    }
    using Setter = void (DumpSummary::*)(unsigned int, std::string&, std::string&);
    void name(Setter set, unsigned i, uint32_t tocBytes, uint32_t dataBytes, size_t tocSize, size_t dataSize) {
        std::string data = "/plat_dump/data." + std::to_string(dataSize);
        std::string toc = "/plat_dump/toc." + std::to_string(tocSize);
        ((*s).*set)(i, data, toc);
        add({tocSize, false, toc, tocBytes});
        add({dataSize, true, data, dataBytes});
    }
    void add(const Nodal& n) {
        writeFile(primary(n.path), std::string(n.bytes, 'd'));
        files.push_back(n);
    }
    // Every derived field as the documented formulas give it from the
    // files' lengths and a size of unnamed slots counted as stored.
    void expectDerived(uint32_t unnamedBytes) {
        std::vector<uint8_t> v = primaryBytes(kSys);
        uint32_t data = 0, all = unnamedBytes;
        for (const Nodal& n : files) {
            EXPECT_EQ(slice(v, n.sizeOffset, 4), Bytes().u32(n.bytes).bytes()) << n.path;
            all += n.bytes;
            if (n.data) data += n.bytes;
        }
        const uint32_t hwTotal = 1024 + all;
        EXPECT_EQ(slice(v, 772, 8), Bytes().u32(data).u32(hwTotal).bytes()) << "nodalDataSize, hwDumpTotalSize";
        EXPECT_EQ(slice(v, 64 + 48 + 24, 8), Bytes().u32(0).u32(all).bytes()) << "hardware section";
        EXPECT_EQ(slice(v, 64 + 96 + 24, 8), Bytes().u64(0x100000020ULL).bytes()) << "hypervisor section";
        EXPECT_EQ(slice(v, 232, 8), Bytes().u64(hwTotal + 0x100000020ULL).bytes()) << "totalDumpSize";
        EXPECT_EQ(backupBytes(kSys), v);
    }
    void patchFile(size_t offset, const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> v = primaryBytes(kSys);
        std::copy(bytes.begin(), bytes.end(), v.begin() + long(offset));
        writeFile(primary(pathOf(kSys)), std::string(v.begin(), v.end()));
    }

    std::unique_ptr<DumpSummary> s;
    std::vector<Nodal> files;
};

TEST_F(SummaryFlush, RecomputesEveryDerivedFieldFromTheNamedFiles) {
    // A size beside an empty name is kept and counted; a named file that
    // cannot be opened measures 0.
    patchFile(1872 + 5 * 4, Bytes().u32(7));
    std::string ghostData = "/plat_dump/ghost.data", ghostToc = "/plat_dump/ghost.toc";
    s->SetSPDATAFileNames(9, ghostData, ghostToc);
    patchFile(3912 + 9 * 4, Bytes().u32(55));
    files.push_back({3912 + 9 * 4, true, ghostData, 0});

    rmgrCalls();
    EXPECT_EQ(s->flush(), nullptr);
    expectDerived(7);

    // One data file grows by 100: every derived field follows, all three
    // regions are written and mirrored.
    files[3].bytes += 100;
    writeFile(primary(files[3].path), std::string(files[3].bytes, 'd'));
    rmgrCalls();
    EXPECT_EQ(s->flush(), nullptr);
    expectDerived(7);
    const std::string sync = "rmgrSyncFileChunk 0xF000 " + pathOf(kSys);
    EXPECT_EQ(rmgrCalls(), (std::vector<std::string>{sync + " 0 208", sync + " 208 1024", sync + " 1232 3140"}));
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummaryFlush, UnchangedDumpIsNotWrittenByFlushOrByAHoldersDestructor) {
    s->flush();
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    std::filesystem::last_write_time(primary(pathOf(kSys)), old);
    std::filesystem::last_write_time(backup(pathOf(kSys)), old);
    rmgrCalls();

    EXPECT_EQ(s->flush(), nullptr);
    EXPECT_EQ(open()->getDumpFlags(), 0);  // a holder that only read
    EXPECT_EQ(waitChild(forkChild([] {
                  ErrlEntry* errl = nullptr;
                  DumpSummary other(kSys.id, errl);
                  return errl ? 1 : 0;
              })),
              0);
    for (const std::string& call : rmgrCalls()) EXPECT_EQ(call.find("rmgrSyncFileChunk"), std::string::npos) << call;
    EXPECT_EQ(std::filesystem::last_write_time(primary(pathOf(kSys))), old);
    EXPECT_EQ(std::filesystem::last_write_time(backup(pathOf(kSys))), old);
}

}  // namespace
