// The dump state record, the progress figures, the completion test, the
// intermediate file list and the client record. Records are checked byte
// by byte at their documented offsets, integers read in the host's order.
#include <cstring>

#include "platdump/dumpState.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

template <typename T>
T at(const void* record, size_t offset) {
    T v;
    std::memcpy(&v, static_cast<const uint8_t*>(record) + offset, sizeof v);
    return v;
}
std::vector<uint8_t> bytesAt(const void* record, size_t offset, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(record) + offset;
    return std::vector<uint8_t>(p, p + n);
}

class SummaryState : public HeldDumpTest {};

TEST_F(SummaryState, ProgressFollowsItemsFlagsAndTheMainStorePhase) {
    const struct { uint16_t flags; uint32_t privateFlags, total, finished; unsigned hardware, overall; } cases[] = {
        {0, 0, 3, 1, 33, 33},         {0, 0, 3, 2, 67, 67},         {0, 0, 200, 99, 50, 50},
        {0, 0, 4, 5, 125, 125},       {0, 0, 0, 7, 0, 0},           {0x4000, 0, 3, 1, 100, 100},
        {0x8000, 0, 0, 0, 100, 100},  {0x0200, 0, 2, 1, 50, 30},    {0x0200, 0, 100, 99, 99, 59},
        {0x0200, 0, 200, 199, 100, 60}, {0x4200, 4, 0, 0, 100, 80}, {0x8200, 4, 2, 1, 100, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " " << c.finished << "/" << c.total);
        s->setDumpFlags(c.flags);
        patch(kSys, 4360, Bytes().u32(c.privateFlags).u32(c.total).u32(c.finished));
        EXPECT_EQ(s->GetHardwareDumpProgress(), c.hardware);
        EXPECT_EQ(s->GetDumpProgress(), c.overall);
        EXPECT_EQ(s->isDumpComplete(), (c.flags & 0x8000) != 0);
    }
}

TEST_F(SummaryState, RecordOfIncompleteAndCompleteDumps) {
    std::string sysData = "/plat_dump/sys.data", sysToc = "/plat_dump/sys.toc";
    std::string hwData = "/plat_dump/hw.data", hwToc = "/plat_dump/hw.toc";
    s->SetSYSDATAFileNames(sysData, sysToc);
    s->SetHWDATAFileNames(4, hwData, hwToc);
    for (const auto& f :
         std::vector<std::pair<std::string, size_t>>{{sysData, 300}, {sysToc, 48}, {hwData, 1000}, {hwToc, 96}})
        writeFile(primary(f.first), std::string(f.second, 'd'));
    s->setContent(0xC0FFEE01);
    s->setHardwareErrorFlags(0x0102);
    s->setMemoryDumpErrorFlags(0x0123456789ABCDEFULL);
    s->setMemoryDumpSize(0x100000000ULL);
    s->setMDRTTableSize(0x20);
    s->setDumpFlags(0x0200);
    patch(kSys, 4364, Bytes().u32(2).u32(1));

    _dumpstate r;
    std::memset(&r, 0xA5, sizeof r);
    r.size = 92;
    auto expectRecord = [&](uint16_t flags, uint32_t dataSize, uint64_t dumpSize, uint32_t progress) {
        ASSERT_TRUE(s->PopulateDumpState(&r));
        EXPECT_EQ(bytesAt(&r, 8, 48), Bytes().field("SYSDUMP.AB12CD3.0000001A.20261205203015", 48).bytes());
        // 64-bit fields high word first.
        EXPECT_EQ((std::vector<uint32_t>{at<uint32_t>(&r, 0), at<uint32_t>(&r, 4), at<uint32_t>(&r, 56),
                                         at<uint32_t>(&r, 60), at<uint16_t>(&r, 64), at<uint16_t>(&r, 66),
                                         at<uint32_t>(&r, 68), at<uint32_t>(&r, 72), at<uint32_t>(&r, 76),
                                         at<uint32_t>(&r, 80), at<uint32_t>(&r, 84), at<uint32_t>(&r, 88)}),
                  (std::vector<uint32_t>{92, kSys.id, 2, 0xC0FFEE01, flags, 0x0102, 0x01234567, 0x89ABCDEF,
                                         dataSize, uint32_t(dumpSize >> 32), uint32_t(dumpSize), progress}));
    };
    // Incomplete, main store still to come: the data files measured now.
    expectRecord(0x0200, 1300, 0, 30);
    writeFile(primary(hwData), std::string(1100, 'd'));
    expectRecord(0x0200, 1400, 0, 30);
    // Complete: the sizes of the last flush, no file measured.
    s->flush();
    s->setDumpFlagsByMask(0x8000);
    writeFile(primary(hwData), "");
    expectRecord(0x8200, 1400, 208 + (1024 + 48 + 300 + 1100 + 96) + 0x20 + 0x100000000ULL, 100);

    // A short or missing record, or an unreadable summary: false, nothing written.
    std::memset(&r, 0xA5, sizeof r);
    r.size = 91;
    EXPECT_FALSE(s->PopulateDumpState(&r));
    EXPECT_FALSE(s->PopulateDumpState(nullptr));
    r.size = 92;
    platsim::setFault("UtilFile.read", "match=.summary");
    EXPECT_FALSE(s->PopulateDumpState(&r));
    EXPECT_EQ(bytesAt(&r, 4, 88), std::vector<uint8_t>(88, 0xA5));
}

TEST_F(SummaryState, IntermediateFilesInTheirOrderAndTheClientRecord) {
    std::vector<std::string> list;
    EXPECT_FALSE(s->getIntermediateFileNames(list));
    std::string n[9];
    for (int i = 0; i < 9; ++i) n[i] = "/plat_dump/f" + std::to_string(i);
    s->SetHWDATAFileNames(2, n[1], n[0]);
    s->SetSPDATAFileNames(1, n[3], n[2]);
    s->SetSYSDATAFileNames(n[5], n[4]);
    s->setMDRTFileName(n[6], 1);
    s->setResourceDumpFileName(n[7]);
    s->setMDSTFileName(n[8], 1);
    list = {"kept"};
    EXPECT_TRUE(s->getIntermediateFileNames(list));
    EXPECT_EQ(list, (std::vector<std::string>{"kept", n[2], n[3], n[0], n[1], n[4], n[5], n[6], n[7]}));

    char client[] = "0123456789abcdefghijklmnopqrstuvwxyz", user[] = "operator";
    s->setToolType(0xA1B2C3D4);
    s->setClientId(client);
    s->setUserId(user);
    DumpClientRecord_t* rec = s->GetDumpClientRecord();
    EXPECT_EQ(at<uint32_t>(rec, 0), 0xA1B2C3D4u);
    EXPECT_EQ(bytesAt(rec, 4, 68), Bytes().text(std::string(client, 32)).field(user, 33).fill(3).bytes());
    s->setToolType(7);
    EXPECT_EQ(s->GetDumpClientRecord(), rec);
    EXPECT_EQ(rec->toolType, 7u) << "one record, refilled";
}

}  // namespace
