// Flush: the derived size fields follow the named nodal files, and a
// summary that nothing changed is written neither here nor on the backup.
#include <filesystem>

#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

// A named nodal file: the offset of its stored size, data or TOC, length.
struct Nodal { size_t sizeOffset; bool data; uint32_t bytes; };

class SummaryFlush : public HeldDumpTest {
protected:
    void SetUp() override {
        HeldDumpTest::SetUp();
        s->setMemoryDumpSize(0x100000000ULL);
        s->setMDRTTableSize(0x20);
        std::string n[8];
        for (int i = 0; i < 8; ++i) n[i] = "/plat_dump/nodal." + std::to_string(i);
        s->SetSYSDATAFileNames(n[1], n[0]);
        s->SetHWDATAFileNames(0, n[3], n[2]);
        s->SetHWDATAFileNames(3, n[5], n[4]);
        s->SetSPDATAFileNames(9, n[7], n[6]);  // n[7] is never written: measured 0
        files = {{4016, false, 48}, {4084, true, 300}, {1872, false, 96}, {2552, true, 1000},
                 {1872 + 12, false, 48}, {2552 + 12, true, 7777}, {3232 + 36, false, 64}, {3912 + 36, true, 0}};
        for (int i = 0; i < 7; ++i) grow(i, files[i].bytes);
        patch(kSys, 3912 + 36, Bytes().u32(55));
        patch(kSys, 1872 + 5 * 4, Bytes().u32(7));  // beside an empty name: kept and counted
    }
    void grow(int i, uint32_t bytes) {
        files[i].bytes = bytes;
        writeFile(primary("/plat_dump/nodal." + std::to_string(i)), std::string(bytes, 'd'));
    }
    // Every derived field by the documented formulas.
    void expectDerived() {
        std::vector<uint8_t> v = bytesOf(kSys);
        uint32_t data = 0, all = 7;
        for (const Nodal& n : files) {
            EXPECT_EQ(slice(v, n.sizeOffset, 4), Bytes().u32(n.bytes).bytes()) << n.sizeOffset;
            all += n.bytes;
            data += n.data ? n.bytes : 0;
        }
        EXPECT_EQ(slice(v, 772, 8), Bytes().u32(data).u32(1024 + all).bytes()) << "nodalDataSize, hwDumpTotalSize";
        EXPECT_EQ(slice(v, 112 + 24, 8), Bytes().u32(0).u32(all).bytes()) << "hardware section";
        EXPECT_EQ(slice(v, 160 + 24, 8), Bytes().u64(0x100000020ULL).bytes()) << "hypervisor section";
        EXPECT_EQ(slice(v, 232, 8), Bytes().u64(1024 + all + 0x100000020ULL).bytes()) << "totalDumpSize";
        EXPECT_EQ(bytesOf(kSys, true), v);
    }

    std::vector<Nodal> files;
};

// Each flush recomputes every derived field from the named files, grown
// since the last. Region reads' results are not checked, and a nodal file
// that cannot be opened gets what its unopened object reports (0): the
// flush goes on, writes what differs, and reports nothing.
TEST_F(SummaryFlush, RecomputesEveryDerivedFieldFromTheNamedFilesWhateverFails) {
    EXPECT_EQ(s->flush(), nullptr);
    expectDerived();
    // The file grown since, the file that cannot be opened (or -1).
    const struct { const char *fault, *params; int grown, unopened; } rows[] = {
        {"", "", 5, -1},
        {"UtilFile.read", "count=1 match=.summary", 3, -1},
        {"UtilFile.Open", "count=1 match=nodal.5", 3, 5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fault);
        grow(r.grown, files[r.grown].bytes + 10);
        if (*r.fault) platsim::setFault(r.fault, r.params);
        EXPECT_EQ(s->flush(), nullptr);
        platsim::clearFaults();
        if (r.unopened >= 0) files[r.unopened].bytes = 0;
        expectDerived();
    }
}

TEST_F(SummaryFlush, UnchangedDumpIsNotWrittenByFlushOrByAHoldersDestructor) {
    s->flush();
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    const std::string sides[] = {primary(summaryPath(kSys)), backup(summaryPath(kSys))};
    for (const std::string& f : sides) std::filesystem::last_write_time(f, old);
    rmgrCalls();
    EXPECT_EQ(s->flush(), nullptr);
    EXPECT_EQ(waitChild(forkChild([] {
                  ErrlEntry* errl = nullptr;
                  DumpSummary reader(kSys.id, errl);
                  return errl || reader.getDumpFlags() != 0;
              })),
              0);
    for (const std::string& call : rmgrCalls()) EXPECT_EQ(call.find("rmgrSyncFileChunk"), std::string::npos) << call;
    for (const std::string& f : sides) EXPECT_EQ(std::filesystem::last_write_time(f), old) << f;
}

}  // namespace
