// Summary fields: every setter changes exactly its documented bytes (and
// the backup's copy with them), getters read the file afresh, the rules of
// the name setters, and the update protocol's transfers that fail.
#include <iterator>

#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class SummaryFields : public HeldDumpTest {};

const BCD_time8_t kTime = {{0x20, 0x27}, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const std::vector<uint8_t> kTimeBytes = {0x20, 0x27, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

TEST_F(SummaryFields, EachSetterWritesExactlyItsFieldAndMirrorsItsRegion) {
    char user[] = "operator";
    rmgrCalls();
    const struct {
        const char* name;
        std::function<void(DumpSummary&)> set;
        size_t offset;
        std::vector<uint8_t> bytes;
    } cases[] = {
#define SET(call) #call, [&](DumpSummary& d) { d.call; }
        {SET(setPLId(0x50001234)), 312, Bytes().u32(0x50001234)},
        {SET(setDumpSRCSize(0x12345)), 318, Bytes().u16(0x2345)},
        {SET(setToolType(0xA1B2C3D4)), 652, Bytes().u32(0xA1B2C3D4)},
        {SET(setUserId(user)), 688, Bytes().field("operator", 32)},
        {SET(setDumpFlags(0x8421)), 720, Bytes().u16(0x8421)},
        {SET(setDumpFlagsByMask(0x0200)), 720, Bytes().u16(0x8621)},
        {SET(setHardwareErrorFlags(0x0F0F)), 722, Bytes().u16(0x0F0F)},
        {SET(clearHardwareErrorFlags(0x0103)), 722, Bytes().u16(0x0E0C)},
        {SET(setHardwareObjectModel(0x1234)), 726, Bytes().u8(0x34)},
        {SET(setMemoryDumpErrorFlags(0x8000000000000001ULL)), 728, Bytes().u64(0x8000000000000001ULL)},
        {SET(setMemoryDumpErrorFlagsByMask(1ULL << 32)), 728, Bytes().u64(0x8000000100000001ULL)},
        {SET(setMemoryDumpStartTime(kTime)), 736, kTimeBytes},
        {SET(setMemoryDumpCompletionTime(kTime)), 744, kTimeBytes},
        {SET(setHypMode(0x101)), 762, Bytes().u8(0x01)},
        {SET(setHardwareNodeCount(0x0203)), 766, Bytes().u16(0x0203)},
        {SET(setMDRTTableSize(0x11223344)), 780, Bytes().u32(0x11223344)},
        {SET(setMDRTAddress(0x0102030405060708ULL)), 784, Bytes().u64(0x0102030405060708ULL)},
        {SET(setMemoryDumpSize(0x1122334455667788ULL)), 792, Bytes().u64(0x1122334455667788ULL)},
        {SET(setHardwareCollectionEndTime(kTime)), 808, kTimeBytes},
        {SET(setContent(0xC0C0A0A0)), 816, Bytes().u32(0xC0C0A0A0)},
        {SET(setFailingUnitId(0xBEEF)), 820, Bytes().u32(0xBEEF)},
        {SET(setHardwareCollectionStartTime(kTime)), 848, kTimeBytes},
        {SET(SetTotalHDCTItemCount(40)), 4364, Bytes().u32(40)},
        {SET(setMainstorePriority(7)), 170, Bytes().u16(7)},
#undef SET
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectChange([&] { c.set(*s); }, {{c.offset, c.bytes}});
    }
    std::vector<std::string> mirrored = rmgrCalls();
    ASSERT_EQ(mirrored.size(), std::size(cases)) << "one mirrored region write per setter";
    EXPECT_EQ(mirrored[0], "rmgrSyncFileChunk 0xF000 " + summaryPath(kSys) + " 208 1024");
    EXPECT_EQ(mirrored[22], "rmgrSyncFileChunk 0xF000 " + summaryPath(kSys) + " 1232 3140");
    EXPECT_EQ(mirrored[23], "rmgrSyncFileChunk 0xF000 " + summaryPath(kSys) + " 0 208");
}

TEST_F(SummaryFields, GettersReadWhatAnotherHolderWroteAndCountersReturnTheirNewValue) {
    auto o = open(kSys);
    s->setDumpFlagsByMask(0x0200);
    o->setHardwareErrorFlags(0x0011);  // o's image predates the flag, which is kept
    o->setMemoryDumpErrorFlags(0x123456789ULL);
    o->setPLId(77);
    o->setMDRTTableSize(320);
    o->setMDRTAddress(0xABCDEF0123ULL);
    o->setMemoryDumpSize(1ULL << 40);
    o->setContent(3);
    o->setFailingUnitId(9);
    patch(kSys, 232, Bytes().u64(0x0102030405060708ULL));  // derived fields, written elsewhere
    patch(kSys, 776, Bytes().u32(0x00ABCDEF));
    EXPECT_EQ((std::vector<uint64_t>{s->getDumpFlags(), s->getHWErrorFlags(), s->getMemoryDumpErrorFlags(),
                                     s->getSystemLogId(), s->getMDRTTableSize(), s->getMDRTAddress(),
                                     s->getMSDataSize(), s->getContentType(), s->getFailingUnitId(),
                                     s->getFileHeaderSize(), s->getTotalDumpSize(), s->getHWDumpTotalSize()}),
              (std::vector<uint64_t>{0x0200, 0x0011, 0x123456789ULL, 77, 320, 0xABCDEF0123ULL, 1ULL << 40, 3, 9,
                                     208, 0x0102030405060708ULL, 0x00ABCDEF}));

    EXPECT_EQ((std::vector<unsigned>{s->IncrementTCEErrorCount(), o->IncrementTCEErrorCount(),
                                     s->IncrementDMAErrorCount(), s->SetPrivateFlagsByMask(0x6),
                                     o->SetPrivateFlagsByMask(0x10), s->ClearPrivateFlagsByMask(0x4),
                                     o->GetPrivateFlags()}),
              (std::vector<unsigned>{1, 2, 1, 0x6, 0x16, 0x12, 0x12}));
    s->IncrementFinishedHDCTItemCount();
    o->IncrementFinishedHDCTItemCount();
    EXPECT_EQ(slice(bytesOf(kSys), 4352, 20), Bytes().u32(2).u32(1).u32(0x12).u32(0).u32(2).bytes());
    // (Their mirroring: the concurrency test.)
}

TEST_F(SummaryFields, SrcAndClientIdAreCutToTheirFields) {
    std::vector<char> src(400);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>(i + 1);
    expectChange([&] { s->setDumpSRC(src.data(), 400); }, {{320, std::vector<uint8_t>(src.begin(), src.begin() + 332)}});
    expectChange([&] { s->setDumpSRC(src.data() + 100, 3); }, {{320, {101, 102, 103}}});
    char longId[] = "0123456789abcdefghijklmnopqrstuvwxyzABCD";  // 40 characters, no NUL stored
    expectChange([&] { s->setClientId(longId); }, {{656, Bytes().text("0123456789abcdefghijklmnopqrstuv")}});
    char shortId[] = "console1";
    expectChange([&] { s->setClientId(shortId); }, {{656, Bytes().field("console1", 32)}});
    // No bytes leave the SRC as it was; no id clears the field.
    expectChange([&] { s->setDumpSRC(nullptr, 3); }, {});
    expectChange([&] { s->setDumpSRC(src.data(), 0); }, {});
    expectChange([&] { s->setClientId(nullptr); }, {{656, Bytes().fill(32)}});
    expectChange([&] { s->setUserId(nullptr); }, {});
}

TEST_F(SummaryFields, NamesGoToTheirSlotsTocFirstAndOnlyWhenChanged) {
    std::string data = "/plat_dump/0000001A.HWDATA.3", toc = "/plat_dump/0000001A.HWTOC.3";
    expectChange([&] { s->SetHWDATAFileNames(3, data, toc); },
                 {{1232 + 3 * 64, Bytes().field(toc, 64)}, {1912 + 3 * 64, Bytes().field(data, 64)}});
    std::string spData = "/plat_dump/sp.data.9", spToc = "/plat_dump/sp.toc.9";
    expectChange([&] { s->SetSPDATAFileNames(9, spData, spToc); },
                 {{2592 + 9 * 64, Bytes().field(spToc, 64)}, {3272 + 9 * 64, Bytes().field(spData, 64)}});
    std::string sysData = "/plat_dump/0000001A.SysData", sysToc = "/plat_dump/0000001A.SysTOC";
    expectChange([&] { s->SetSYSDATAFileNames(sysData, sysToc); },
                 {{3952, Bytes().field(sysToc, 64)}, {4020, Bytes().field(sysData, 64)}});
    rmgrCalls();
    s->SetSYSDATAFileNames(sysData, sysToc);
    s->SetHWDATAFileNames(3, data, toc);
    EXPECT_TRUE(rmgrCalls().empty()) << "unchanged names write nothing";
    s->SetHWDATAFileNames(10, data, toc);
    s->SetSPDATAFileNames(0xFFFFFFFF, data, toc);
    EXPECT_TRUE(rmgrCalls().empty()) << "a slot of 10 or more is refused";

    std::string longName(70, 'n'), d = "d";
    expectChange([&] { s->SetHWDATAFileNames(0, d, longName); },
                 {{1232, Bytes().field(longName.substr(0, 63), 64)}, {1912, Bytes().field("d", 64)}});
    std::string longer = "/plat_dump/0000001A.mdrt.with.a.longer.name", shorter = "/plat_dump/m";
    s->setMDRTFileName(longer, 0x100);
    expectChange([&] { s->setMDRTFileName(shorter, 0x60); }, {{4088, Bytes().field(shorter, 64).u32(0x60)}});
    std::string mdst = "/plat_dump/0000001A.mdst";
    expectChange([&] { s->setMDSTFileName(mdst, 0x1234); }, {{4156, Bytes().field(mdst, 64).u32(0x1234)}});

    std::string name = "untouched";
    EXPECT_FALSE(s->getResourceDumpFileName(name));
    EXPECT_EQ(name, "untouched");
    std::string rsc(70, 'r');
    expectChange([&] { s->setResourceDumpFileName(rsc); }, {{4224, Bytes().field(rsc.substr(0, 63), 64)}});
    EXPECT_TRUE(open(kSys)->getResourceDumpFileName(name));
    EXPECT_EQ(name, rsc.substr(0, 63));
}

// A transfer of the update protocol that fails or falls short is traced
// only: the operation goes on with the image as it then is, and a failed
// seek does not keep its transfer from happening (at the file's position,
// which each row first puts after the summary region, 1232). Nothing is
// committed; removeSummaryFile returns what the close left.
TEST_F(SummaryFields, AFailedTransferIsTracedAndTheUpdateGoesOn) {
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    std::vector<uint8_t> want;
    // A row: prepare, then the file as it is, changed by expect, is what
    // act must leave (expect null: the summary removed).
    auto row = [&](const char* name, std::function<void()> prepare, const char* fault, const char* params,
                   std::function<ErrlEntry*()> act, std::function<void(std::vector<uint8_t>&)> expect,
                   std::string returned = "", std::function<void()> more = nullptr) {
        return FailureRow{name,
                          [=, &want] {
                              if (prepare) prepare();
                              s->getDumpFlags();
                              want = bytesOf(kSys);
                              if (expect) expect(want);
                              platsim::setFault(fault, params);
                          },
                          act, returned, {}, [=, &want] {
                              EXPECT_EQ(bytesOf(kSys), expect ? want : std::vector<uint8_t>());
                              EXPECT_EQ(bytesOf(kSys, true), expect ? want : std::vector<uint8_t>());
                              if (more) more();
                          }};
    };
    auto toolType = [this] { s->setToolType(0x77); return nullptr; };
    auto moved = [](size_t from, size_t to) {  // the summary region's 1024 bytes copied
        return [=](std::vector<uint8_t>& v) {
            std::copy(v.begin() + long(from), v.begin() + long(from + 1024), v.begin() + long(to));
        };
    };
    auto then = [](std::function<void(std::vector<uint8_t>&)> first, std::vector<Patch> patches) {
        return [=](std::vector<uint8_t>& v) {
            if (first) first(v);
            apply(v, patches);
        };
    };
    const std::vector<uint8_t> tool = Bytes().u32(0x77);
    expectRows({
        row("re-read's seek fails: the read follows", nullptr, "UtilFile.seek", "count=1 match=.summary", toolType,
            then(moved(1232, 208), {{652, tool}})),
        row("re-read fails", nullptr, "UtilFile.read", "count=1 match=.summary", toolType, then(nullptr, {{652, tool}})),
        row("write-back's seek fails: the write follows", nullptr, "UtilFile.seek", "after=1 count=1 match=.summary",
            toolType, then(moved(208, 1232), {{1232 + 652 - 208, tool}})),
        row("write-back fails", nullptr, "UtilFile.write", "count=1 match=.summary", toolType, then(nullptr, {})),
        row("mainstoreCollectionFailed after a failed re-read", nullptr, "UtilFile.read", "count=1 match=.summary",
            [this] { s->mainstoreCollectionFailed(0x10); return nullptr; },
            then(nullptr, {{720, Bytes().u16(0x0800)}, {728, Bytes().u64(0x10)}})),
        row("hwSysCollectionFailed after a failed re-read", nullptr, "UtilFile.read", "count=1 match=.summary",
            [this] { s->hwSysCollectionFailed(0x1); return nullptr; },
            then(nullptr, {{720, Bytes().u16(0x1000).u16(0x0001)}})),
        row("ClearMainstoreDumpExistFlag after a failed summary write",
            [&] {
                writeFile(primary(mdrt), "table");
                s->setMDRTFileName(mdrt, 5);
                s->setDumpFlags(0x2000);
            },
            "UtilFile.write", "count=1 match=.summary", [this] { s->ClearMainstoreDumpExistFlag(0); return nullptr; },
            then(nullptr, {{4088, Bytes().fill(64).u32(0)}}), "",
            [&] { EXPECT_FALSE(fileExists(primary(mdrt))) << "removed all the same"; }),
        row("removeSummaryFile after a failed close", nullptr, "UtilFile.Close", "count=1 match=.summary",
            [this] { return s->removeSummaryFile(); }, nullptr, "platform:1105 05130B1F 5 0 0 rc=2 sev=40"),
    });
}

}  // namespace
