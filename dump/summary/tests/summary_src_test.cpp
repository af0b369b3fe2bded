// The dump's SRC kept in its summary file and rebuilt by other holders,
// the marking of failed collections in the summary's flags, the withdrawal
// of main-store data, and their failure table.
#include "platform/srciSrc.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class SummarySrc : public HeldDumpTest {
protected:
    // An SRC whose image is 44 + n bytes.
    static SrciSrc makeSrc(size_t n) {
        SrciSrc s(0xF000, SRCI_TYPE_FSP, 0, 0x13, SVC_DUMP_FAILURE, 0xF0EE, 1, 2, 3, 4, EPUB_FIRMWARE_SP);
        std::vector<uint8_t> extra(n);
        for (size_t i = 0; i < n; ++i) extra[i] = static_cast<uint8_t>(i * 7 + 1);
        s.setExtraData(extra);
        return s;
    }
    // A 48-byte SRC saved, then its size field (at 318) and its image (at
    // 4372) in the file as spoil leaves them.
    std::function<void()> storedSrc(std::function<void(std::vector<uint8_t>&)> spoil) {
        return [this, spoil] {
            SrciSrc src = makeSrc(4);
            ASSERT_EQ(s->SaveFlattenedSRC(src), nullptr);
            std::vector<uint8_t> v = bytesOf(kSys);
            spoil(v);
            writeFile(primary(summaryPath(kSys)), std::string(v.begin(), v.end()));
        };
    }
    std::function<ErrlEntry*()> noSrc() {
        return [this] {
            EXPECT_EQ(open(kSys)->getSrc(), nullptr);
            return nullptr;
        };
    }
};

TEST_F(SummarySrc, SavedSrcComesBackEqualInAnotherProcessEvenWithoutTheTemporaryFile) {
    for (const char* fault : {"", "UtilFile.Open"}) {
        SCOPED_TRACE(fault);
        if (*fault) platsim::setFault(fault, "match=flatsrc");
        SrciSrc src = makeSrc(356);  // a 400-byte image
        auto holder = open(kSys);
        EXPECT_EQ(holder->SaveFlattenedSRC(src), nullptr);
        EXPECT_EQ(*holder->getSrc(), src);
        std::vector<uint8_t> file = bytesOf(kSys);  // the image itself: the platform's
        EXPECT_EQ(file.size(), 4772u);
        EXPECT_EQ(slice(file, 318, 2), Bytes().u16(400).bytes());
        EXPECT_EQ(slice(file, 320, 332), slice(file, 4372, 332)) << "its first 332 bytes in dumpSrc";
        EXPECT_EQ(bytesOf(kSys, true), file);
        EXPECT_FALSE(fileExists(primary("/plat_dump/flatsrc.0000001a.tmp")));
        EXPECT_EQ(waitChild(forkChild([&] {
                      std::unique_ptr<DumpSummary> fresh = open(kSys);
                      return fresh->getSrc() && *fresh->getSrc() == src ? 0 : 1;
                  })),
                  0);
    }
}

TEST_F(SummarySrc, CollectionFailuresSetTheirFlags) {
    s->setMDRTTableSize(0x20);
    // Marked even though the dump has no main-store phase.
    expectChange([&] { s->mainstoreCollectionFailed(0x10); },
                 {{720, Bytes().u16(0x0800)}, {728, Bytes().u64(0x10)}, {780, Bytes().u32(0)}});
    expectChange([&] { s->hwSysCollectionFailed(0x18001); }, {{720, Bytes().u16(0x1800).u16(0x8001)}});
    // With a phase, data and a size recorded, only the table goes.
    s->setDumpFlagsByMask(0x2200);
    s->setMemoryDumpSize(0x1000);
    s->setMDRTTableSize(0x20);
    expectChange([&] { s->mainstoreCollectionFailed(0x1); }, {{728, Bytes().u64(0x11)}, {780, Bytes().u32(0)}});
}

TEST_F(SummarySrc, WithdrawingMainStoreDataClearsItsFieldsAndRemovesTheMdrtFileOnBoth) {
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    for (const std::string& side : {primary(mdrt), backup(mdrt)}) writeFile(side, "table");
    s->setMDRTFileName(mdrt, 5);
    s->setMemoryDumpSize(0x1000);
    s->setMDRTTableSize(0x20);
    s->setMemoryDumpErrorFlags(0x4);
    rmgrCalls();
    expectChange([&] { s->ClearMainstoreDumpExistFlag(1); }, {});
    EXPECT_TRUE(rmgrCalls().empty() && fileExists(primary(mdrt))) << "without main-store data: nothing";

    s->setDumpFlags(0x2201);
    expectChange([&] { s->ClearMainstoreDumpExistFlag(0x0080000000000000ULL); },
                 {{720, Bytes().u16(0x0A01)}, {728, Bytes().u64(0x0081000000000004ULL)}, {780, Bytes().u32(0)},
                  {792, Bytes().u64(0)}, {4088, Bytes().fill(64).u32(0)}});
    EXPECT_FALSE(fileExists(primary(mdrt)) || fileExists(backup(mdrt)));
    // With no MDRT file named, only the flags change.
    s->setDumpFlags(0x2000);
    expectChange([&] { s->ClearMainstoreDumpExistFlag(0); }, {{720, Bytes().u16(0x0800)}});
}

TEST_F(SummarySrc, FailureTable) {
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    expectRows({
        {"an image, no size recorded", storedSrc([](std::vector<uint8_t>& v) { v[318] = v[319] = 0; }), noSrc(), "", {}},
        {"no SRC stored, a size recorded", storedSrc([](std::vector<uint8_t>& v) { v.resize(4372); }), noSrc(), "", {}},
        {"getSrc: the stored SRC cannot be unflattened", storedSrc([](std::vector<uint8_t>& v) { v[4372] = 'X'; }),
         noSrc(), "", {"0D13EE04 2 0 0 rc=F0EE sev=20 tr=dump"}},
        {"getSrc: a stored SRC cut short", storedSrc([](std::vector<uint8_t>& v) { v.resize(4372 + 20); }), noSrc(), "",
         {"0D13EE04 1 0 0 rc=F0EE sev=20 tr=dump"}},
        {"hwSysCollectionFailed: bit 0x0200 newly set, then again", nullptr, [this] {
             s->hwSysCollectionFailed(0x8200);
             s->hwSysCollectionFailed(0x0201);
             EXPECT_EQ(s->getHWErrorFlags(), 0x8201);
             return nullptr;
         }, "", {"0B132407 0 0 0 rc=22 sev=20 tr=dump"}},
        {"ClearMainstoreDumpExistFlag: the MDRT file cannot be removed", [&] {
             writeFile(primary(mdrt), "table");
             s->setMDRTFileName(mdrt, 5);
             s->setDumpFlags(0x2000);
             platsim::setFault("UtilFile.remove", "match=MDRT");
         }, [this] {
             s->ClearMainstoreDumpExistFlag(0);
             EXPECT_EQ(slice(bytesOf(kSys), 4088, 68), Bytes().fill(68).bytes()) << "the name cleared all the same";
             return nullptr;
         }, "", {"platform:1106 rc=5 sev=40"}},
    });
}

}  // namespace
