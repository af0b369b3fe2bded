// The dump's SRC kept in its summary file and rebuilt by other holders,
// and the marking of failed collections in the summary's flags.
#include "platform/srciSrc.h"
#include "summaryTest.h"

using namespace summarytest;
using namespace testsupport;

namespace {

class SummarySrc : public HeldSummaryTest {
protected:
    static std::vector<uint8_t> extra(size_t n) {
        std::vector<uint8_t> x(n);
        for (size_t i = 0; i < n; ++i) x[i] = static_cast<uint8_t>(i * 7 + 1);
        return x;
    }
    static SrciSrc makeSrc(size_t n) {
        SrciSrc s(0xF000, SRCI_TYPE_FSP, 0, 0x13, SVC_DUMP_FAILURE, 0xF0EE, 1, 2, 3, 4, EPUB_FIRMWARE_SP);
        s.setExtraData(extra(n));
        return s;
    }
    // makeSrc(n)'s image from the platform's documented layout.
    static std::vector<uint8_t> image(size_t n) {
        Bytes b;
        b.text("SRCI").u16(44 + n).u8(1).u8(0xB1).u16(0xF000).u16(0xF0EE).u16(0x4399).u8(0x81).u8(0).u8(0).u8(0x13);
        return bytes(b.u16(0).u32(0).u32(1).u32(2).u32(3).u32(4).u32(n), extra(n));
    }
};

TEST_F(SummarySrc, SavedSrcComesBackEqualInAnotherProcessEvenWithoutTheTemporaryFile) {
    for (const char* fault : {"", "UtilFile.Open"}) {
        SCOPED_TRACE(fault);
        if (*fault) platsim::setFault(fault, "match=flatsrc");
        SrciSrc src = makeSrc(356);  // a 400-byte image
        auto holder = open();
        EXPECT_EQ(holder->SaveFlattenedSRC(src), nullptr);
        EXPECT_EQ(*holder->getSrc(), src);
        std::vector<uint8_t> file = primaryBytes(kSys), img = image(356);
        EXPECT_EQ(file.size(), 4772u);
        EXPECT_EQ(slice(file, 318, 2 + 332), bytes(Bytes().u16(400), slice(img, 0, 332)).bytes());
        EXPECT_EQ(slice(file, 4372, 400), img);
        EXPECT_EQ(backupBytes(kSys), file);
        EXPECT_FALSE(fileExists(primary("/plat_dump/flatsrc.0000001a.tmp")));
        EXPECT_EQ(waitChild(forkChild([&src] {
                      ErrlEntry* errl = nullptr;
                      DumpSummary fresh(kSys.id, errl);
                      return fresh.getSrc() && *fresh.getSrc() == src ? 0 : 1;
                  })),
                  0);
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummarySrc, MissingOrDamagedSrcGivesNullAndOnlyDamageIsLogged) {
    const std::vector<uint8_t> base = primaryBytes(kSys), img = image(4);
    std::vector<uint8_t> badMagic = img;
    badMagic[0] = 'X';
    const struct {
        uint16_t size;
        std::vector<uint8_t> tail;
        int result;  // unflatten's result in the log; -1: no log
    } cases[] = {{0, img, -1}, {48, {}, -1}, {48, badMagic, 2}, {48, slice(img, 0, 20), 1}};
    for (const auto& c : cases) {
        std::vector<uint8_t> v = base;  // dumpSrcSize at 318, the tail at 4372
        v[319] = static_cast<uint8_t>(c.size);
        v.insert(v.end(), c.tail.begin(), c.tail.end());
        writeFile(primary(pathOf(kSys)), std::string(v.begin(), v.end()));
        size_t before = errlog().size();
        EXPECT_EQ(open()->getSrc(), nullptr) << c.result;
        ASSERT_EQ(errlog().size(), before + (c.result < 0 ? 0 : 1));
        if (c.result >= 0) {
            EXPECT_EQ(errlog().back()["rc"], 0xF0EE);
            EXPECT_EQ(errlog().back()["srcs"][0]["words"], Json::array({word(0x0D13, 0xF0EE, 4), c.result, 0, 0}));
        }
    }
}

TEST_F(SummarySrc, CollectionFailuresSetTheirFlagsAndLogTheFirstHardwareFailure) {
    s->setMDRTTableSize(0x20);
    // Marked even though the dump has no main-store phase.
    expectChange(kSys, [&] { s->mainstoreCollectionFailed(0x10); },
                 {{720, Bytes().u16(0x0800)}, {728, Bytes().u64(0x10)}, {780, Bytes().u32(0)}});
    expectChange(kSys, [&] { s->hwSysCollectionFailed(0x18200); }, {{720, Bytes().u16(0x1800).u16(0x8200)}});
    s->hwSysCollectionFailed(0x8200);
    s->hwSysCollectionFailed(0x0001);
    EXPECT_EQ(s->getHWErrorFlags(), 0x8201);
    ASSERT_EQ(errlog().size(), 1u) << "only the first 0x0200";
    EXPECT_EQ(errlog()[0]["rc"], 0x22);
    EXPECT_EQ(errlog()[0]["srcs"][0]["words"], Json::array({word(0x0B13, 0xF024, 7), 0, 0, 0}));
    // With a phase, data and a size recorded, only the table goes.
    s->setDumpFlagsByMask(0x2200);
    s->setMemoryDumpSize(0x1000);
    s->setMDRTTableSize(0x20);
    expectChange(kSys, [&] { s->mainstoreCollectionFailed(0x1); }, {{728, Bytes().u64(0x11)}, {780, Bytes().u32(0)}});
}

TEST_F(SummarySrc, WithdrawingMainStoreDataClearsItsFieldsAndRemovesTheMdrtFileOnBoth) {
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    writeFile(primary(mdrt), "table");
    writeFile(backup(mdrt), "table");
    s->setMDRTFileName(mdrt, 5);
    s->setMemoryDumpSize(0x1000);
    s->setMDRTTableSize(0x20);
    s->setMemoryDumpErrorFlags(0x4);
    rmgrCalls();
    expectChange(kSys, [&] { s->ClearMainstoreDumpExistFlag(1); }, {});
    EXPECT_TRUE(rmgrCalls().empty() && fileExists(primary(mdrt))) << "without main-store data: nothing";

    s->setDumpFlags(0x2201);
    expectChange(kSys, [&] { s->ClearMainstoreDumpExistFlag(0x0080000000000000ULL); },
                 {{720, Bytes().u16(0x0A01)}, {728, Bytes().u64(0x0081000000000004ULL)}, {780, Bytes().u32(0)},
                  {792, Bytes().u64(0)}, {4088, Bytes().fill(64).u32(0)}});
    EXPECT_FALSE(fileExists(primary(mdrt)) || fileExists(backup(mdrt)));
    EXPECT_TRUE(errlog().empty());

    // A file that cannot be removed: its log is committed, the name cleared all the same.
    s->setMDRTFileName(mdrt, 5);
    s->setDumpFlags(0x2000);
    platsim::setFault("UtilFile.remove", "match=MDRT");
    s->ClearMainstoreDumpExistFlag(0);
    EXPECT_EQ(errlog().size(), 1u);
    EXPECT_EQ(slice(primaryBytes(kSys), 4088, 68), Bytes().fill(68).bytes());
    platsim::clearFaults();

    // With no MDRT file named, only the flags change.
    s->setDumpFlags(0x2000);
    expectChange(kSys, [&] { s->ClearMainstoreDumpExistFlag(0); }, {{720, Bytes().u16(0x0800)}});
    EXPECT_EQ(errlog().size(), 1u);
}

}  // namespace
