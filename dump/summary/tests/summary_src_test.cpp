// The dump's SRC kept in its summary file and rebuilt by other holders,
// and the marking of failed collections in the summary's flags.
#include "platform/srciSrc.h"
#include "summaryTest.h"

using namespace summarytest;
using namespace testsupport;

namespace {

class SummarySrc : public SummaryTest {
protected:
    void SetUp() override {
        SummaryTest::SetUp();
        create(kSys);
    }
    static std::vector<uint8_t> extraBytes(size_t n) {
        std::vector<uint8_t> x(n);
        for (size_t i = 0; i < n; ++i) x[i] = static_cast<uint8_t>(i * 7 + 1);
        return x;
    }
    static SrciSrc makeSrc(size_t extra) {
        SrciSrc s(0xF000, SRCI_TYPE_FSP, 0, 0x13, SVC_DUMP_FAILURE, 0xF0EE, 1, 2, 3, 4, EPUB_FIRMWARE_SP);
        s.setExtraData(extraBytes(extra));
        return s;
    }
    // The flattened image of makeSrc(extra), from the platform's documented
    // layout: 44 fixed bytes, then the extra bytes.
    static std::vector<uint8_t> image(size_t extra) {
        Bytes b;
        b.text("SRCI").u16(44 + extra).u8(1).u8(0xB1).u16(0xF000).u16(0xF0EE).u16(0x4399);
        b.u8(0x81).u8(0).u8(0).u8(0x13).u16(0).u32(0).u32(1).u32(2).u32(3).u32(4).u32(extra);
        return bytes(b, extraBytes(extra));
    }
    // The summary file replaced by the new dump's bytes with dumpSrcSize
    // size and tail after them.
    void rewrite(const std::vector<uint8_t>& base, uint16_t size, const std::vector<uint8_t>& tail) {
        std::vector<uint8_t> v = base;
        v[318] = static_cast<uint8_t>(size >> 8);
        v[319] = static_cast<uint8_t>(size);
        v.insert(v.end(), tail.begin(), tail.end());
        writeFile(primary(pathOf(kSys)), std::string(v.begin(), v.end()));
    }
};

TEST_F(SummarySrc, SavedSrcComesBackEqualInAnotherProcess) {
    auto s = open();
    SrciSrc src = makeSrc(356);  // a 400-byte image
    EXPECT_EQ(s->SaveFlattenedSRC(src), nullptr);
    ASSERT_NE(s->getSrc(), nullptr);
    EXPECT_EQ(s->getSrc(), s->getSrc()) << "the cached copy";
    EXPECT_EQ(*s->getSrc(), src);

    std::vector<uint8_t> file = primaryBytes(kSys), img = image(356);
    EXPECT_EQ(file.size(), 4772u);
    EXPECT_EQ(slice(file, 318, 2), Bytes().u16(400).bytes());
    EXPECT_EQ(slice(file, 320, 332), slice(img, 0, 332));
    EXPECT_EQ(slice(file, 4372, 400), img);
    EXPECT_EQ(backupBytes(kSys), file);
    EXPECT_FALSE(fileExists(primary("/plat_dump/flatsrc.0000001a.tmp")));

    auto rebuiltElsewhere = [](const SrciSrc& want) {
        return forkChild([&want] {
            ErrlEntry* errl = nullptr;
            DumpSummary fresh(kSys.id, errl);
            SrciSrc* got = fresh.getSrc();
            return !errl && got && *got == want ? 0 : 1;
        });
    };
    EXPECT_EQ(waitChild(rebuiltElsewhere(src)), 0);

    // A smaller SRC replaces it; the file keeps its length.
    SrciSrc small = makeSrc(4);
    s->SaveFlattenedSRC(small);
    EXPECT_EQ(*s->getSrc(), small);
    file = primaryBytes(kSys);
    EXPECT_EQ(file.size(), 4772u);
    EXPECT_EQ(slice(file, 318, 2), Bytes().u16(48).bytes());
    EXPECT_EQ(slice(file, 4372, 48), image(4));
    EXPECT_EQ(waitChild(rebuiltElsewhere(small)), 0);
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummarySrc, MissingOrDamagedSrcGivesNullAndOnlyDamageIsLogged) {
    const std::vector<uint8_t> base = primaryBytes(kSys), img = image(4);
    std::vector<uint8_t> badMagic = img;
    badMagic[0] = 'X';
    const struct {
        const char* name;
        uint16_t size;
        std::vector<uint8_t> tail;
        int result;  // unflatten's result in the log; -1: no log
    } cases[] = {
        {"no SRC recorded", 0, img, -1},
        {"no flattened area", 48, {}, -1},
        {"bad magic", 48, badMagic, 2},
        {"cut short", 48, slice(img, 0, 20), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rewrite(base, c.size, c.tail);
        size_t before = errlog().size();
        EXPECT_EQ(open()->getSrc(), nullptr);
        std::vector<Json> logs = errlog();
        ASSERT_EQ(logs.size(), before + (c.result < 0 ? 0 : 1));
        if (c.result < 0) continue;
        EXPECT_EQ(logs.back()["rc"], 0xF0EE);
        EXPECT_EQ(logs.back()["srcs"][0]["words"], Json::array({word(0x0D13, 0xF0EE, 4), c.result, 0, 0}));
    }

    // A failed read caches nothing: the next call reads again.
    auto s = open();
    EXPECT_EQ(s->getSrc(), nullptr);
    rewrite(base, 48, img);
    ASSERT_NE(s->getSrc(), nullptr);
    EXPECT_EQ(*s->getSrc(), makeSrc(4));
}

TEST_F(SummarySrc, TemporaryFileFailureStillStoresTheWholeImage) {
    for (const char* fault : {"UtilFile.Open", "UtilFile.read", "UtilFile.seek"}) {
        SCOPED_TRACE(fault);
        platsim::setFault(fault, "match=flatsrc");
        SrciSrc src = makeSrc(12);
        open()->SaveFlattenedSRC(src);
        platsim::clearFaults();
        EXPECT_EQ(slice(primaryBytes(kSys), 4372, 56), image(12));
        auto fresh = open();
        SrciSrc* got = fresh->getSrc();
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(*got, makeSrc(12));
        EXPECT_FALSE(fileExists(primary("/plat_dump/flatsrc.0000001a.tmp")));
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummarySrc, CollectionFailuresSetTheirFlagsAndLogTheFirstHardwareFailure) {
    auto s = open();
    s->setMDRTTableSize(0x20);
    // Main store: marked even though the dump has no main-store phase.
    expectChange(kSys, [&] { s->mainstoreCollectionFailed(0x10); },
                 {{720, Bytes().u16(0x0800)}, {728, Bytes().u64(0x10)}, {780, Bytes().u32(0)}});
    EXPECT_TRUE(errlog().empty());

    // Hardware: hwErrorFlags keeps the low 16 bits; one log for the first 0x0200.
    expectChange(kSys, [&] { s->hwSysCollectionFailed(0x18200); },
                 {{720, Bytes().u16(0x1800)}, {722, Bytes().u16(0x8200)}});
    s->hwSysCollectionFailed(0x8200);
    s->hwSysCollectionFailed(0x0001);
    EXPECT_EQ(s->getHWErrorFlags(), 0x8201);
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0]["rc"], 0x22);
    EXPECT_EQ(logs[0]["srcs"][0]["words"], Json::array({word(0x0B13, 0xF024, 7), 0, 0, 0}));
}

TEST_F(SummarySrc, WithdrawingMainStoreDataClearsItsFieldsAndRemovesTheMdrtFileOnBoth) {
    auto s = open();
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    auto prepare = [&] {
        writeFile(primary(mdrt), "table");
        writeFile(backup(mdrt), "table");
        s->setMDRTFileName(mdrt, 5);
        s->setMemoryDumpSize(0x1000);
        s->setMDRTTableSize(0x20);
        s->setMemoryDumpErrorFlags(0x4);
        rmgrCalls();
    };
    prepare();
    expectChange(kSys, [&] { s->ClearMainstoreDumpExistFlag(0x0080000000000000ULL); }, {});
    EXPECT_TRUE(rmgrCalls().empty()) << "no main-store data: nothing written";
    EXPECT_TRUE(fileExists(primary(mdrt)));

    s->setDumpFlags(0x2201);
    expectChange(kSys, [&] { s->ClearMainstoreDumpExistFlag(0x0080000000000000ULL); },
                 {{720, Bytes().u16(0x0A01)},
                  {728, Bytes().u64(0x0081000000000004ULL)},
                  {780, Bytes().u32(0)},
                  {792, Bytes().u64(0)},
                  {4088, Bytes().fill(64).u32(0)}});
    EXPECT_FALSE(fileExists(primary(mdrt)));
    EXPECT_FALSE(fileExists(backup(mdrt)));
    EXPECT_TRUE(errlog().empty());

    // A file that cannot be removed: its log is committed, the fields are
    // cleared all the same.
    prepare();
    s->setDumpFlags(0x2000);
    platsim::setFault("UtilFile.remove", "match=MDRT");
    s->ClearMainstoreDumpExistFlag(0);
    EXPECT_EQ(errlog().size(), 1u);
    EXPECT_EQ(slice(primaryBytes(kSys), 4088, 68), Bytes().fill(68).bytes());
    EXPECT_EQ(s->getDumpFlags(), 0x0800);
}

}  // namespace
