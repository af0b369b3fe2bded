// Summary fields: every setter changes exactly its documented bytes (and
// the backup's copy with them), getters read the file afresh, and the rules
// of the name setters.
#include <functional>
#include <iterator>
#include <memory>

#include "summaryTest.h"

using namespace summarytest;
using namespace testsupport;

namespace {

class SummaryFields : public HeldSummaryTest {
protected:
    void SetUp() override {
        HeldSummaryTest::SetUp();
        rmgrCalls();
    }
    void expectChange(const std::function<void()>& change, const std::vector<Patch>& patches) {
        SummaryTest::expectChange(kSys, change, patches);
    }
};

const BCD_time8_t kTime = {{0x20, 0x27}, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const std::vector<uint8_t> kTimeBytes = {0x20, 0x27, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

TEST_F(SummaryFields, EachSetterWritesExactlyItsFieldAndMirrorsItsRegion) {
    char user[] = "operator";
    const struct {
        const char* name;
        std::function<void(DumpSummary&)> set;
        size_t offset;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"setPLId", [](DumpSummary& d) { d.setPLId(0x50001234); }, 312, Bytes().u32(0x50001234)},
        {"setDumpSRCSize", [](DumpSummary& d) { d.setDumpSRCSize(0x12345); }, 318, Bytes().u16(0x2345)},
        {"setToolType", [](DumpSummary& d) { d.setToolType(0xA1B2C3D4); }, 652, Bytes().u32(0xA1B2C3D4)},
        {"setUserId", [&](DumpSummary& d) { d.setUserId(user); }, 688, Bytes().field("operator", 32)},
        {"setDumpFlags", [](DumpSummary& d) { d.setDumpFlags(0x8421); }, 720, Bytes().u16(0x8421)},
        {"setDumpFlagsByMask", [](DumpSummary& d) { d.setDumpFlagsByMask(0x0200); }, 720, Bytes().u16(0x8621)},
        {"setHardwareErrorFlags", [](DumpSummary& d) { d.setHardwareErrorFlags(0x0F0F); }, 722, Bytes().u16(0x0F0F)},
        {"clearHardwareErrorFlags", [](DumpSummary& d) { d.clearHardwareErrorFlags(0x0103); }, 722, Bytes().u16(0x0E0C)},
        {"setHardwareObjectModel", [](DumpSummary& d) { d.setHardwareObjectModel(0x1234); }, 726, Bytes().u8(0x34)},
        {"setMemoryDumpErrorFlags", [](DumpSummary& d) { d.setMemoryDumpErrorFlags(0x8000000000000001ULL); }, 728,
         Bytes().u64(0x8000000000000001ULL)},
        {"setMemoryDumpErrorFlagsByMask", [](DumpSummary& d) { d.setMemoryDumpErrorFlagsByMask(1ULL << 32); }, 728,
         Bytes().u64(0x8000000100000001ULL)},
        {"setMemoryDumpStartTime", [](DumpSummary& d) { d.setMemoryDumpStartTime(kTime); }, 736, kTimeBytes},
        {"setMemoryDumpCompletionTime", [](DumpSummary& d) { d.setMemoryDumpCompletionTime(kTime); }, 744, kTimeBytes},
        {"setHypMode", [](DumpSummary& d) { d.setHypMode(0x101); }, 762, Bytes().u8(0x01)},
        {"setHardwareNodeCount", [](DumpSummary& d) { d.setHardwareNodeCount(0x0203); }, 766, Bytes().u16(0x0203)},
        {"setMDRTTableSize", [](DumpSummary& d) { d.setMDRTTableSize(0x11223344); }, 780, Bytes().u32(0x11223344)},
        {"setMDRTAddress", [](DumpSummary& d) { d.setMDRTAddress(0x0102030405060708ULL); }, 784,
         Bytes().u64(0x0102030405060708ULL)},
        {"setMemoryDumpSize", [](DumpSummary& d) { d.setMemoryDumpSize(0x1122334455667788ULL); }, 792,
         Bytes().u64(0x1122334455667788ULL)},
        {"setHardwareCollectionEndTime", [](DumpSummary& d) { d.setHardwareCollectionEndTime(kTime); }, 808, kTimeBytes},
        {"setContent", [](DumpSummary& d) { d.setContent(0xC0C0A0A0); }, 816, Bytes().u32(0xC0C0A0A0)},
        {"setFailingUnitId", [](DumpSummary& d) { d.setFailingUnitId(0xBEEF); }, 820, Bytes().u32(0xBEEF)},
        {"setHardwareCollectionStartTime", [](DumpSummary& d) { d.setHardwareCollectionStartTime(kTime); }, 848, kTimeBytes},
        {"SetTotalHDCTItemCount", [](DumpSummary& d) { d.SetTotalHDCTItemCount(40); }, 4364, Bytes().u32(40)},
        {"setMainstorePriority", [](DumpSummary& d) { d.setMainstorePriority(7); }, 170, Bytes().u16(7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectChange([&] { c.set(*s); }, {{c.offset, c.bytes}});
    }
    std::vector<std::string> mirrored = rmgrCalls();
    ASSERT_EQ(mirrored.size(), std::size(cases)) << "one mirrored region write per setter";
    EXPECT_EQ(mirrored[0], "rmgrSyncFileChunk 0xF000 " + pathOf(kSys) + " 208 1024");
    EXPECT_EQ(mirrored[22], "rmgrSyncFileChunk 0xF000 " + pathOf(kSys) + " 1232 3140");
    EXPECT_EQ(mirrored[23], "rmgrSyncFileChunk 0xF000 " + pathOf(kSys) + " 0 208");
}

TEST_F(SummaryFields, GettersReadWhatAnotherHolderWrote) {
    auto o = open();
    s->setDumpFlagsByMask(0x0200);
    o->setHardwareErrorFlags(0x0011);  // o's image predates the flag, which is kept
    o->setMemoryDumpErrorFlags(0x123456789ULL);
    o->setPLId(77);
    o->setMDRTTableSize(320);
    o->setMDRTAddress(0xABCDEF0123ULL);
    o->setMemoryDumpSize(1ULL << 40);
    o->setContent(3);
    o->setFailingUnitId(9);
    o->SetPrivateFlagsByMask(0x6);
    EXPECT_EQ(s->getDumpFlags(), 0x0200);
    EXPECT_EQ(s->getHWErrorFlags(), 0x0011);
    EXPECT_EQ(s->getMemoryDumpErrorFlags(), 0x123456789ULL);
    EXPECT_EQ(s->getSystemLogId(), 77u);
    EXPECT_EQ(s->getMDRTTableSize(), 320u);
    EXPECT_EQ(s->getMDRTAddress(), 0xABCDEF0123ULL);
    EXPECT_EQ(s->getMSDataSize(), 1ULL << 40);
    EXPECT_EQ(s->getContentType(), 3u);
    EXPECT_EQ(s->getFailingUnitId(), 9u);
    EXPECT_EQ(s->GetPrivateFlags(), 0x6u);
    EXPECT_EQ(s->getFileHeaderSize(), 208);

    // Fields the library derives elsewhere are read from the file too.
    patchFile(kSys, 232, Bytes().u64(0x0102030405060708ULL));
    patchFile(kSys, 776, Bytes().u32(0x00ABCDEF));
    EXPECT_EQ(s->getTotalDumpSize(), 0x0102030405060708ULL);
    EXPECT_EQ(s->getHWDumpTotalSize(), 0x00ABCDEFu);
}

TEST_F(SummaryFields, SrcAndClientIdAreCutToTheirFields) {
    std::vector<char> src(400);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>(i + 1);
    expectChange([&] { s->setDumpSRC(src.data(), 400); }, {{320, std::vector<uint8_t>(src.begin(), src.begin() + 332)}});
    expectChange([&] { s->setDumpSRC(src.data() + 100, 3); }, {{320, {101, 102, 103}}});
    char longId[] = "0123456789abcdefghijklmnopqrstuvwxyzABCD";  // 40 characters, no NUL stored
    expectChange([&] { s->setClientId(longId); }, {{656, Bytes().text("0123456789abcdefghijklmnopqrstuv")}});
    char shortId[] = "mc-alpha";
    expectChange([&] { s->setClientId(shortId); }, {{656, Bytes().field("mc-alpha", 32)}});
    // No bytes leave the SRC as it was; no id clears the field.
    expectChange([&] { s->setDumpSRC(nullptr, 3); }, {});
    expectChange([&] { s->setDumpSRC(src.data(), 0); }, {});
    expectChange([&] { s->setClientId(nullptr); }, {{656, Bytes().fill(32)}});
    expectChange([&] { s->setUserId(nullptr); }, {});
}

TEST_F(SummaryFields, NodalNamesGoToTheirSlotsTocFirstAndOnlyWhenChanged) {
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
    expectChange([&] {
        s->SetHWDATAFileNames(10, data, toc);
        s->SetSPDATAFileNames(0xFFFFFFFF, data, toc);
    }, {});
    EXPECT_TRUE(rmgrCalls().empty()) << "a slot of 10 or more is refused";

    std::string longName(70, 'n'), d = "d";
    expectChange([&] { s->SetHWDATAFileNames(0, d, longName); },
                 {{1232, Bytes().field(longName.substr(0, 63), 64)}, {1912, Bytes().field("d", 64)}});
}

TEST_F(SummaryFields, TableAndResourceFileNames) {
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
    EXPECT_TRUE(open()->getResourceDumpFileName(name));
    EXPECT_EQ(name, rsc.substr(0, 63));
    EXPECT_TRUE(s->getSummaryFileName(name));
    EXPECT_EQ(name, pathOf(kSys));
}

TEST_F(SummaryFields, CountersAndPrivateFlagsReturnTheirNewValue) {
    auto o = open();
    EXPECT_EQ(s->IncrementTCEErrorCount(), 1u);
    EXPECT_EQ(o->IncrementTCEErrorCount(), 2u);
    EXPECT_EQ(s->IncrementDMAErrorCount(), 1u);
    EXPECT_EQ(s->SetPrivateFlagsByMask(0x6), 0x6u);
    EXPECT_EQ(o->SetPrivateFlagsByMask(0x10), 0x16u);
    EXPECT_EQ(s->ClearPrivateFlagsByMask(0x4), 0x12u);
    s->IncrementFinishedHDCTItemCount();
    o->IncrementFinishedHDCTItemCount();
    EXPECT_EQ(slice(primaryBytes(kSys), 4352, 20), Bytes().u32(2).u32(1).u32(0x12).u32(0).u32(2).bytes());
    EXPECT_EQ(backupBytes(kSys), primaryBytes(kSys));
}

// A transfer of the update protocol that fails or falls short is traced
// only: the operation goes on with the image as it then is, and a failed
// seek does not keep its transfer from happening (at the file's position,
// which each row first puts after the summary region, 1232).
TEST_F(SummaryFields, AFailedTransferIsTracedAndTheUpdateGoesOn) {
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    const uint32_t toolType = 0x77;
    auto setToolType = [&](DumpSummary& d) -> ErrlEntry* {
        d.setToolType(toolType);
        return nullptr;
    };
    auto putToolType = [&](std::vector<uint8_t>& v, size_t at) {
        const std::vector<uint8_t> b = Bytes().u32(toolType).bytes();
        std::copy(b.begin(), b.end(), v.begin() + long(at));
    };
    // v's bytes [from, from + n) copied to to.
    auto moved = [](std::vector<uint8_t>& v, size_t from, size_t to, size_t n) {
        const std::vector<uint8_t> part = slice(v, from, n);
        std::copy(part.begin(), part.end(), v.begin() + long(to));
    };
    auto patch = [](std::vector<uint8_t>& v, size_t at, const std::vector<uint8_t>& b) {
        std::copy(b.begin(), b.end(), v.begin() + long(at));
    };
    const struct Row {
        const char* name;
        std::function<void(DumpSummary&)> prepare;  // before the fault, or null
        const char *fault, *params;
        std::function<ErrlEntry*(DumpSummary&)> act;
        std::function<void(std::vector<uint8_t>&)> expected;  // the file from before; null: removed
        uint32_t word;  // the returned log's location word; 0: no log at all
    } rows[] = {
        {"re-read's seek fails: the read follows", nullptr, "UtilFile.seek", "count=1 match=.summary", setToolType,
         [&](std::vector<uint8_t>& v) {
             moved(v, 1232, 208, 1024);
             putToolType(v, 652);
         }, 0},
        {"re-read fails", nullptr, "UtilFile.read", "count=1 match=.summary", setToolType,
         [&](std::vector<uint8_t>& v) { putToolType(v, 652); }, 0},
        {"write-back's seek fails: the write follows", nullptr, "UtilFile.seek", "after=1 count=1 match=.summary",
         setToolType, [&](std::vector<uint8_t>& v) {
             moved(v, 208, 1232, 1024);
             putToolType(v, 1232 + 652 - 208);
         }, 0},
        {"write-back fails", nullptr, "UtilFile.write", "count=1 match=.summary", setToolType,
         [](std::vector<uint8_t>&) {}, 0},
        {"mainstoreCollectionFailed after a failed re-read", nullptr, "UtilFile.read", "count=1 match=.summary",
         [](DumpSummary& d) -> ErrlEntry* {
             d.mainstoreCollectionFailed(0x10);
             return nullptr;
         },
         [&](std::vector<uint8_t>& v) {
             patch(v, 720, Bytes().u16(0x0800));
             patch(v, 728, Bytes().u64(0x10));
         }, 0},
        {"hwSysCollectionFailed after a failed re-read", nullptr, "UtilFile.read", "count=1 match=.summary",
         [](DumpSummary& d) -> ErrlEntry* {
             d.hwSysCollectionFailed(0x1);
             return nullptr;
         },
         [&](std::vector<uint8_t>& v) { patch(v, 720, Bytes().u16(0x1800).u16(0x0001)); }, 0},
        {"ClearMainstoreDumpExistFlag after a failed summary write",
         [&](DumpSummary& d) {
             writeFile(primary(mdrt), "table");
             d.setMDRTFileName(mdrt, 5);
             d.setDumpFlags(0x2000);
         },
         "UtilFile.write", "count=1 match=.summary",
         [](DumpSummary& d) -> ErrlEntry* {
             d.ClearMainstoreDumpExistFlag(0);
             return nullptr;
         },
         [&](std::vector<uint8_t>& v) { patch(v, 4088, Bytes().fill(64).u32(0)); }, 0},
        {"removeSummaryFile after a failed close", nullptr, "UtilFile.Close", "count=1 match=.summary",
         [](DumpSummary& d) { return d.removeSummaryFile(); }, nullptr, word(0x0513, 0xF00B, 31)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.prepare) r.prepare(*s);
        s->getDumpFlags();
        std::vector<uint8_t> want = primaryBytes(kSys);
        if (r.expected) r.expected(want);
        const size_t logs = errlog().size();
        platsim::setFault(r.fault, r.params);
        Json returned = taken(r.act(*s));
        platsim::clearFaults();
        if (r.expected) {
            EXPECT_EQ(primaryBytes(kSys), want);
            EXPECT_EQ(backupBytes(kSys), want);
        } else {
            EXPECT_FALSE(fileExists(primary(pathOf(kSys))) || fileExists(backup(pathOf(kSys))));
        }
        EXPECT_EQ(returned.is_null() ? 0u : locationWord(returned, returned["srcs"].size() - 1), r.word);
        EXPECT_EQ(errlog().size(), logs) << "nothing committed";
    }
    EXPECT_FALSE(fileExists(primary(mdrt))) << "the MDRT file went all the same";
}

}  // namespace
