// Nodal section files: the finalised layout of each kind, the failure
// rows, a full file system. (Continuing and repairing pairs: the crash and
// completion tests.)
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "dump/nodal/tests/nodalTest.h"
#include "platform/orlaDataBuffer.h"

using namespace nodaltest;
using Section = DumpNodalSection;
using testsupport::taken;

namespace {

// An entry as one line: the library's SRC (location word, user words 1
// and 2; "platform" when it has none), the return code, the call points
// (module:location:word), the key/value sections.
std::string signature(const Json& j) {
    char text[64];
    const Json& src = j["srcs"].back();
    const Json& w = src["words"];
    std::snprintf(text, sizeof text, "%08X %u %u", w[0].get<uint32_t>(), w[1].get<uint32_t>(), w[2].get<uint32_t>());
    std::string s = (src["component"] == 0xF000 ? text : "platform") + (" rc=" + j["rc"].dump());
    for (const Json& c : j["callPoints"]) {
        std::snprintf(text, sizeof text, " cp=%04X:%X:%X", c["function"].get<unsigned>() | c["file"].get<unsigned>(),
                      c["location"].get<unsigned>(), c["word"].get<unsigned>());
        s += text;
    }
    for (size_t i = 0; i < j["userData"].size(); ++i) {
        std::vector<uint8_t> b = testsupport::userDataBytes(j, i);
        if (j["userData"][i]["type"] == "DumpKeyValueStringInfo") s += " kv=" + std::string(b.begin(), b.end() - 1);
    }
    return s;
}

class NodalSection : public NodalTest {
protected:
    // Item 5, or a 2-byte hardware item.
    ErrlEntry* item(Section& s, Section::DumpNodalType_t type) {
        if (type != Section::HWDATA) return put(s, 5);
        orlaDataBuffer b(std::vector<uint8_t>{1, 2}.data(), 16);
        DumpHwTocEntry e{};
        return s.writeEntry(e, b);
    }
    void removePair(const std::string& t, const std::string& d) {
        for (const std::string& f : {primary(t), primary(d), backup(t)}) ::unlink(f.c_str());
    }
    std::unique_ptr<DumpSummary> summary() {
        create(summarytest::kSys);
        return SummaryTest::open();
    }
};

TEST_F(NodalSection, FinalisedPairsOfEachKind) {
    std::unique_ptr<DumpSummary> dump = summary();
    dump->setContent(0x400);
    char sys[12] = {'s', 'y', 's', ' ', 'i', 't', 'e', 'm', 1, 2, 3, 4};
    const uint8_t bits[2] = {0xAB, 0xC8};  // 13 bits: 3 of the last byte unused
    struct Case {
        Section::DumpNodalType_t type;
        unsigned index;
        std::function<ErrlEntry*(Section&)> fill;
        std::vector<uint8_t> toc, data;
    } cases[] = {
        {Section::SYSDATA, 0x10005, [&](Section& s) { DumpSpTocEntry e{0xF0090000, 7, 12}; return s.writeEntry(e, sys); },
         Bytes(header("SYSDATA", 1, 80, 5, 20, 1, 12)).u32(0xF0090000).u32(0).u32(12), Bytes().text(std::string(sys, 12)).fill(8)},
        {Section::SPDATA, 2, [](Section&) { return nullptr; }, header("SPDATA", 0, 48, 2, 0, 0, 12), {}},
        {Section::HWDATA, 3, [&](Section& s) {
             orlaDataBuffer buffer(bits, 13);
             DumpHwTocEntry e{1, 2, 3, 4, 9, 0xFFFFFFFF, 9};
             return s.writeEntry(e, buffer);
         },
         Bytes(header("HWDATA", 2, 80, 3, 4, 1, 28)).u32(1).u32(2).u32(3).u32(4).u32(0).u32(0xFFBFFFFF).u32(2),
         Bytes().u8(0xAB).u8(0xC8).fill(2)},
    };
    for (const Case& c : cases) {
        std::string tocName = "00000005.SysTOC", dataName = "00000005.SysData";
        {
            Section s(c.type, dump.get());
            ASSERT_EQ(s.createNodalFiles(tocName, dataName, c.index), nullptr);
            EXPECT_EQ(tocName + s.getDataFileName(), "/plat_dump/00000005.SysTOC/plat_dump/00000005.SysData");
            ASSERT_EQ(c.fill(s), nullptr);
        }
        EXPECT_EQ(testsupport::readBytes(primary(tocName)), c.toc) << c.type;
        EXPECT_EQ(testsupport::readBytes(backup(tocName)), c.toc) << c.type;
        EXPECT_EQ(testsupport::readBytes(primary(dataName)), c.data) << c.type;
        removePair(tocName, dataName);
    }
}

TEST_F(NodalSection, FailuresAreReportedAtTheirPoints) {
    // The failing call: createNodalFiles, writeEntry (an item of the
    // section's kind or one of the other kind), or the
    // destructor of a section left with one new entry (which commits the
    // entry); before it, a finalised pair with one entry exists, or none, or
    // the section is not even opened. An empty expectation: no log at all.
    enum Act { CREATE, PUT, PUT_OTHER_KIND, DESTROY };
    enum Setup { NONE, NEW, EXISTING, DAMAGED };  // DAMAGED: existing, its TOC 5 bytes too long
    const Section::DumpNodalType_t SP = Section::SPDATA, HW = Section::HWDATA;
    struct Row {
        const char *fault, *params;
        Setup setup;
        Section::DumpNodalType_t type;
        Act act;
        std::string expected;
    } rows[] = {
        {"UtilFile.Open", "match=n.toc", EXISTING, SP, CREATE,
         "0B0F0B13 2 0 rc=2 cp=030F:4:0 kv=Open existing file:?:/plat_dump/n.toc"},
        {"UtilFile.Open", "match=n.data", NEW, SP, CREATE, "0B0F0B14 1 0 rc=2 cp=030F:5:0 kv=Create new file:?:/plat_dump/n.data"},
        {"UtilFile.read", "match=n.toc", EXISTING, SP, CREATE,
         "0D0F0B18 5 0 rc=2 cp=040F:8:0 cp=030F:4:0 kv=Seeking to File:?:/plat_dump/n.toc"},
        {"UtilFile.seek", "match=n.toc", NEW, HW, CREATE,
         "0C0F0B15 3 0 rc=2 cp=040F:7:0 cp=030F:4:0 kv=Seeking to File:?:/plat_dump/n.toc"},
        {"UtilFile.write", "match=n.data", EXISTING, SP, PUT,
         "090F0B10 4 0 rc=2 cp=080F:E:0 kv=Writing to File:?:/plat_dump/n.data kv=iv_DataFile:?:/plat_dump/n.data"},
        {"UtilFile.seek", "match=n.toc", EXISTING, HW, PUT,
         "090F0B0F 3 0 rc=2 cp=080F:D:0 cp=070F:C:0 kv=Seeking to File:?:/plat_dump/n.toc kv=iv_TOCFile:?:/plat_dump/n.toc"},
        {"UtilFile.seek", "after=3 count=1 match=n.data", EXISTING, SP, PUT, "platform rc=5 cp=060F:A:0"},
        {"UtilFile.seek", "after=3 count=1 match=n.data", EXISTING, HW, PUT, ""},  // its end taken as written
        {"statfs", "count=1", NEW, SP, CREATE, ""},  // the fresh header's write falls short
        {"", "", EXISTING, SP, PUT_OTHER_KIND, ""},
        {"", "", EXISTING, HW, PUT_OTHER_KIND, ""},
        {"orlaDataBuffer.memCopyOut", "rc=0x77", EXISTING, HW, PUT, "070FE40B 2 0 rc=119"},
        {"", "", NONE, SP, PUT, "060F0B19 0 0 rc=1"},
        {"UtilFile.write", "match=n.data", NEW, HW, DESTROY, "0A0F0B12 4 2 rc=2 cp=010F:3:0 kv=Seeking to File:?:/plat_dump/n.data"},
        {"UtilFile.seek", "match=n.toc after=1", NEW, SP, DESTROY, "010F0B01 3 0 rc=2 kv=iv_TOCFile:?:/plat_dump/n.toc"},
        {"UtilFile.write", "match=n.toc", NEW, SP, DESTROY, "platform rc=5 cp=010F:2:4 kv=iv_TOCFile:?:/plat_dump/n.toc"},
        {"UtilFile.Open", "count=1 match=n.toc", DAMAGED, SP, DESTROY, ""},  // the repair's reopen: traced
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.fault) + " " + r.params + " act " + std::to_string(r.act) + ": " + r.expected);
        removePair(toc, data);
        if (r.setup == EXISTING || r.setup == DAMAGED) {
            Section s(r.type, nullptr);
            open(s);
            ASSERT_EQ(item(s, r.type), nullptr);
        }
        if (r.setup == DAMAGED) testsupport::writeFile(primary(toc), testsupport::readFile(primary(toc)) + "12345");
        size_t before = errlog().size();
        std::string got;
        {
            Section s(r.type, nullptr);
            if (r.act != CREATE && r.setup != NONE) open(s);
            ErrlEntry* left = r.act == DESTROY ? item(s, r.type) : nullptr;
            ASSERT_EQ(left, nullptr);
            if (*r.fault) platsim::setFault(r.fault, r.params);
            ErrlEntry* e = r.act == CREATE           ? s.createNodalFiles(toc, data, 0)
                           : r.act == PUT            ? item(s, r.type)
                           : r.act == PUT_OTHER_KIND ? item(s, r.type == HW ? SP : HW)
                                                     : nullptr;
            ASSERT_TRUE(r.act != DESTROY || !e);
            got = e ? signature(Json::parse(e->toJson())) : "";
            delete e;
        }
        platsim::clearFaults();
        const bool committed = r.act == DESTROY && !r.expected.empty();
        ASSERT_EQ(errlog().size(), before + committed);
        EXPECT_EQ(committed ? signature(errlog().back()) : got, r.expected);
    }
}

// The repair reads its lengths by the header it holds, and an entry it
// cannot read is judged as claiming data beyond any file: dropped, the
// one before it judged next. Neither is reported.
TEST_F(NodalSection, TheRepairFollowsItsHeaderAndDropsAnEntryItCannotRead) {
    const uint32_t one = uint32_t(itemBytes(1).size()), both = one + uint32_t(itemBytes(2).size());
    auto padded = [](uint32_t data, uint32_t toc) { return data + (16 - (data + toc) % 16) % 16; };
    struct Row {
        const char* name;
        size_t headerSizeAt40;  // 1: the header says 40 bytes
        const char* fault;
        uint32_t entries, dataFileSize, totalSize;
    } rows[] = {
        {"an unreadable last entry", 0, "count=1 match=n.toc", 1, padded(one, 60), 60 + padded(one, 60)},
        {"a header size of 40", 1, "", 2, padded(both, 72), 40 + 24 + padded(both, 72)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        removePair(toc, data);
        {
            Section s(Section::SPDATA, nullptr);
            open(s);
            ASSERT_EQ(put(s, 1), nullptr);
            ASSERT_EQ(put(s, 2), nullptr);
        }
        std::string t = testsupport::readFile(primary(toc)) + "12345";  // the TOC 5 bytes too long
        if (r.headerSizeAt40) t[9] = 40;
        testsupport::writeFile(primary(toc), t);
        std::vector<uint8_t> before = pair().toc;
        {
            Section s(Section::SPDATA, nullptr);
            open(s);
            if (*r.fault) platsim::setFault("UtilFile.read", r.fault);
        }
        platsim::clearFaults();
        Pair p = pair();
        EXPECT_EQ(p.entryCount(), r.entries);
        EXPECT_EQ(be16(p.toc, 8), r.headerSizeAt40 ? 40 : 48);
        EXPECT_EQ(be32(p.toc, 24), r.dataFileSize);
        EXPECT_EQ(p.data.size(), r.dataFileSize);
        EXPECT_EQ(be32(p.toc, 16), r.totalSize);
        EXPECT_EQ(std::vector<uint8_t>(p.toc.begin() + 48, p.toc.end()),
                  std::vector<uint8_t>(before.begin() + 48, before.begin() + 48 + 12 * r.entries));
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(NodalSection, AFullFileSystemMarksTheSummaryAndLeavesAConsistentPair) {
    std::unique_ptr<DumpSummary> dump = summary();
    {
        Section s(Section::SPDATA, dump.get());
        open(s);
        ASSERT_EQ(put(s, 31), nullptr);
        platsim::setStatfs(1000, 70);
        EXPECT_EQ(put(s, 32), nullptr) << "the writes fell short: traced only";
        EXPECT_EQ(dump->getHWErrorFlags(), 0x8200);
        EXPECT_EQ(dump->getDumpFlags(), 0x1000);
    }
    EXPECT_EQ(checkConsistent(pair()), std::vector<uint32_t>{31});
}

// What a failed or short item leaves: it is not cut back out of the files,
// and the next item goes at the data file's end. Items 31, 32 (meeting the
// failure) and 33; then the pair as the destructor leaves it.
TEST_F(NodalSection, AFailedItemStaysAndTheNextGoesAtTheDataFilesEnd) {
    const uint32_t a = uint32_t(itemBytes(31).size()), b = uint32_t(itemBytes(32).size()),
                   c = uint32_t(itemBytes(33).size());
    const struct {
        const char *fault, *params;  // no fault: item 32 has no data buffer
        uint32_t word;               // of the entry item 32 returned; 0: none
        std::vector<std::vector<uint32_t>> entries;  // id, offset, size
        uint32_t dataEnd;                            // before the padding
    } rows[] = {
        {"statfs", "count=1", 0, {{31, 0, a}, {32, a, b}, {33, a, c}}, a + c},  // the data write falls short
        {"", "", 0, {{31, 0, a}, {32, a, 10}, {33, a, c}}, a + c},
        {"UtilFile.write", "count=1 match=n.toc", 0x090F0B10, {{31, 0, a}, {33, a + b, c}}, a + b + c},
        {"UtilFile.seek", "count=1 match=n.data", 0, {{31, 0, a}, {32, a, b}, {33, a + b, c}}, a + b + c},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.fault) + " " + r.params);
        removePair(toc, data);
        {
            Section s(Section::SPDATA, nullptr);
            open(s);
            ASSERT_EQ(put(s, 31), nullptr);
            DumpSpTocEntry unbacked{32, 0, 10};
            if (*r.fault) platsim::setFault(r.fault, r.params);
            Json e = taken(*r.fault ? put(s, 32) : s.writeEntry(unbacked, nullptr));
            platsim::clearFaults();
            EXPECT_EQ(e.is_null() ? 0u : testsupport::locationWord(e, e["srcs"].size() - 1), r.word);
            EXPECT_EQ(put(s, 33), nullptr);
        }
        Pair p = pair();
        std::vector<std::vector<uint32_t>> entries;
        for (uint32_t i = 0; i < p.entryCount(); ++i) entries.push_back({p.word(i, 0), p.word(i, 4), p.word(i, 8)});
        EXPECT_EQ(entries, r.entries);
        EXPECT_EQ(p.data.size(), r.dataEnd + (16 - (r.dataEnd + p.toc.size()) % 16) % 16);
        EXPECT_EQ(be32(p.toc, 24), p.data.size());
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(NodalSection, ASecondCreateChangesNothing) {
    std::string otherToc = "/plat_dump/o.toc", otherData = "/plat_dump/o.data";
    {
        Section s(Section::SPDATA, nullptr);
        open(s);
        ASSERT_EQ(put(s, 31), nullptr);
        EXPECT_EQ(s.createNodalFiles(otherToc, otherData, 1), nullptr);
        EXPECT_EQ(s.getTocFileName() + " " + s.getDataFileName(), toc + " " + data);
    }
    EXPECT_EQ(checkConsistent(pair()), std::vector<uint32_t>{31});
    EXPECT_FALSE(testsupport::fileExists(primary(otherToc)) || testsupport::fileExists(primary(otherData)));
    Section unopened(Section::HWDATA, nullptr);
    EXPECT_EQ(unopened.getTocFileName() + unopened.getDataFileName(), "");
}

}  // namespace
