// Nodal section files: the finalised layout of each kind, the failure
// table, the repair of a damaged pair, what a failed item leaves, a full
// file system. (Crashed writers and completion: their own tests.)
#include <unistd.h>

#include "platform/orlaDataBuffer.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;
using Section = DumpNodalSection;

namespace {

class NodalSection : public DumpTest {
protected:
    void TearDown() override {
        iv_section.reset();
        DumpTest::TearDown();
    }
    std::string toc = "/plat_dump/n.toc", data = "/plat_dump/n.data";

    NodalPair pair() const { return readPair(toc, data); }
    void open(Section& s) { ASSERT_EQ(signature(s.createNodalFiles(toc, data, 0)), ""); }
    void removePair() {
        for (const std::string& f : {primary(toc), primary(data), backup(toc)}) ::unlink(f.c_str());
    }
    // Item 5, or a 2-byte hardware item.
    static ErrlEntry* item(Section& s, Section::DumpNodalType_t type) {
        if (type != Section::HWDATA) return putItem(s, 5);
        orlaDataBuffer b(std::vector<uint8_t>{1, 2}.data(), 16);
        DumpHwTocEntry e{};
        return s.writeEntry(e, b);
    }
    std::unique_ptr<Section> iv_section;
};

TEST_F(NodalSection, FinalisedPairsOfEachKind) {
    create(kSys);
    std::unique_ptr<DumpSummary> dump = DumpTest::open(kSys);
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
         Bytes(nodalHeader("SYSDATA", 1, 80, 5, 20, 1, 12)).u32(0xF0090000).u32(0).u32(12),
         Bytes().text(std::string(sys, 12)).fill(8)},
        {Section::SPDATA, 2, [](Section&) { return nullptr; }, nodalHeader("SPDATA", 0, 48, 2, 0, 0, 12), {}},
        {Section::HWDATA, 3,
         [&](Section& s) {
             orlaDataBuffer buffer(bits, 13);
             DumpHwTocEntry e{1, 2, 3, 4, 9, 0xFFFFFFFF, 9};
             return s.writeEntry(e, buffer);
         },
         Bytes(nodalHeader("HWDATA", 2, 80, 3, 4, 1, 28)).u32(1).u32(2).u32(3).u32(4).u32(0).u32(0xFFBFFFFF).u32(2),
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
        for (const std::string& side : {primary(tocName), backup(tocName)}) EXPECT_EQ(readBytes(side), c.toc) << side;
        EXPECT_EQ(readBytes(primary(dataName)), c.data) << c.type;
        for (const std::string& f : {primary(tocName), primary(dataName), backup(tocName)}) ::unlink(f.c_str());
    }
}

// The failing call: createNodalFiles, writeEntry (an item of the section's
// kind or of the other kind), or the destructor of a section left with one
// new entry (which commits the entry); before it, a finalised pair with one
// entry exists, or none, or the section is not even opened.
TEST_F(NodalSection, FailureTable) {
    enum Act { CREATE, PUT, PUT_OTHER_KIND, DESTROY };
    enum Setup { NONE, NEW, EXISTING, DAMAGED };  // DAMAGED: existing, its TOC 5 bytes too long
    const Section::DumpNodalType_t SP = Section::SPDATA, HW = Section::HWDATA;
    auto row = [this](const char* condition, const char* fault, const char* params, Setup setup,
                      Section::DumpNodalType_t type, Act act, std::string log,
                      std::function<void()> check = nullptr) {
        return FailureRow{condition,
                          [=] {
                              if (setup == EXISTING || setup == DAMAGED) {
                                  Section s(type, nullptr);
                                  open(s);
                                  ASSERT_EQ(item(s, type), nullptr);
                              }
                              if (setup == DAMAGED) writeFile(primary(toc), readFile(primary(toc)) + "12345");
                              iv_section.reset(new Section(type, nullptr));
                              if (act != CREATE && setup != NONE) open(*iv_section);
                              if (act == DESTROY) {
                                  ASSERT_EQ(item(*iv_section, type), nullptr);
                              }
                              if (*fault) platsim::setFault(fault, params);
                          },
                          [=] {
                              if (act == CREATE) return iv_section->createNodalFiles(toc, data, 0);
                              if (act != DESTROY) return item(*iv_section, act == PUT ? type : type == HW ? SP : HW);
                              iv_section.reset();
                              return static_cast<ErrlEntry*>(nullptr);
                          },
                          act == DESTROY ? "" : log,
                          act == DESTROY && !log.empty() ? std::vector<std::string>{log} : std::vector<std::string>{},
                          check};
    };
    const std::string file = " sev=40 cp=";
    expectRows({
        row("opening the existing TOC fails", "UtilFile.Open", "match=n.toc", EXISTING, SP, CREATE,
            "platform:1101 0B0F0B13 2 0 0 rc=2" + file + "030F:4:0 kv=Open existing file:?:/plat_dump/n.toc"),
        row("creating the data file fails", "UtilFile.Open", "match=n.data", NEW, SP, CREATE,
            "platform:1101 0B0F0B14 1 0 0 rc=2" + file + "030F:5:0 kv=Create new file:?:/plat_dump/n.data"),
        row("readHeader's seek fails", "UtilFile.seek", "match=n.toc", EXISTING, SP, CREATE,
            "platform:1104 0D0F0B17 3 0 0 rc=2" + file + "040F:8:0 cp=030F:4:0 kv=Seeking to File:?:/plat_dump/n.toc"),
        row("readHeader's read fails", "UtilFile.read", "match=n.toc", EXISTING, SP, CREATE,
            "platform:1102 0D0F0B18 5 0 0 rc=2" + file + "040F:8:0 cp=030F:4:0 kv=Seeking to File:?:/plat_dump/n.toc"),
        row("initHeader's seek fails", "UtilFile.seek", "match=n.toc", NEW, HW, CREATE,
            "platform:1104 0C0F0B15 3 0 0 rc=2" + file + "040F:7:0 cp=030F:4:0 kv=Seeking to File:?:/plat_dump/n.toc"),
        row("initHeader's write fails", "UtilFile.write", "match=n.toc", NEW, SP, CREATE,
            "platform:1103 0C0F0B16 4 0 0 rc=2" + file + "040F:7:0 cp=030F:4:0 kv=Seeking to File:?:/plat_dump/n.toc"),
        row("appendToFile's seek fails", "UtilFile.seek", "match=n.toc", EXISTING, HW, PUT,
            "platform:1104 090F0B0F 3 0 0 rc=2" + file + "080F:D:0 cp=070F:C:0 kv=Seeking to File:?:/plat_dump/n.toc "
            "kv=iv_TOCFile:?:/plat_dump/n.toc"),
        row("appendToFile's write fails", "UtilFile.write", "match=n.data", EXISTING, SP, PUT,
            "platform:1103 090F0B10 4 0 0 rc=2" + file + "080F:E:0 kv=Writing to File:?:/plat_dump/n.data "
            "kv=iv_DataFile:?:/plat_dump/n.data"),
        row("padDataFile's seek fails", "UtilFile.seek", "after=1 count=1 match=n.data", NEW, HW, DESTROY,
            "platform:1104 0A0F0B11 3 2 0 rc=2" + file + "010F:3:0 kv=Seeking to File:?:/plat_dump/n.data"),
        row("padDataFile's write fails", "UtilFile.write", "match=n.data", NEW, HW, DESTROY,
            "platform:1103 0A0F0B12 4 2 0 rc=2" + file + "010F:3:0 kv=Seeking to File:?:/plat_dump/n.data"),
        row("memCopyOut fails", "orlaDataBuffer.memCopyOut", "rc=0x77", EXISTING, HW, PUT,
            "070FE40B 2 0 0 rc=77 sev=20 tr=dump"),
        // (A full file system during an append: its own test below.)
        row("the data file's end cannot be found", "UtilFile.seek", "after=3 count=1 match=n.data", EXISTING, SP, PUT,
            "platform:1104 rc=5 sev=40 cp=060F:A:0"),
        row("a hardware item's data file end cannot be found", "UtilFile.seek", "after=3 count=1 match=n.data", EXISTING,
            HW, PUT, ""),  // its end taken as written
        row("the fresh header's write falls short", "statfs", "count=1", NEW, SP, CREATE, ""),
        row("an item of the other kind (service processor)", "", "", EXISTING, SP, PUT_OTHER_KIND, ""),
        row("an item of the other kind (hardware)", "", "", EXISTING, HW, PUT_OTHER_KIND, ""),
        row("an item for a section never opened", "", "", NONE, SP, PUT, "060F0B19 0 0 0 rc=1 sev=20 tr=dump"),
        row("the finalisation's seek of the TOC fails", "UtilFile.seek", "match=n.toc after=1", NEW, SP, DESTROY,
            "platform:1104 010F0B01 3 0 0 rc=2 sev=40 kv=iv_TOCFile:?:/plat_dump/n.toc"),
        row("the finalisation's write of the TOC fails", "UtilFile.write", "match=n.toc", NEW, SP, DESTROY,
            "platform:1103 rc=5 sev=40 cp=010F:2:4 kv=iv_TOCFile:?:/plat_dump/n.toc"),
        row("the repair's reopen fails", "UtilFile.Open", "count=1 match=n.toc", DAMAGED, SP, DESTROY, ""),  // traced
        // Left open: a pair whose length cannot be measured is left as it is.
        row("the finalisation cannot measure the TOC", "UtilFile.seek", "match=n.toc", NEW, SP, DESTROY, "",
            [this] { EXPECT_EQ(pair().data.size(), itemBytes(5).size()) << "not padded"; }),
    });
}

// The repair reads its lengths by the header it holds, and an entry it
// cannot read is judged as claiming data beyond any file: dropped, the
// one before it judged next. Neither is reported.
TEST_F(NodalSection, TheRepairFollowsItsHeaderAndDropsAnEntryItCannotRead) {
    const uint32_t one = uint32_t(itemBytes(1).size()), both = one + uint32_t(itemBytes(2).size());
    auto padded = [](uint32_t data, uint32_t toc) { return data + (16 - (data + toc) % 16) % 16; };
    struct Row {
        const char* name;
        bool headerSizeOf40;
        const char* fault;
        uint32_t entries, dataFileSize, totalSize;
    } rows[] = {
        {"an unreadable last entry", false, "count=1 match=n.toc", 1, padded(one, 60), 60 + padded(one, 60)},
        {"a header size of 40", true, "", 2, padded(both, 72), 40 + 24 + padded(both, 72)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        removePair();
        {
            Section s(Section::SPDATA, nullptr);
            open(s);
            ASSERT_EQ(putItem(s, 1), nullptr);
            ASSERT_EQ(putItem(s, 2), nullptr);
        }
        std::string t = readFile(primary(toc)) + "12345";  // the TOC 5 bytes too long
        if (r.headerSizeOf40) t[9] = 40;
        writeFile(primary(toc), t);
        std::vector<uint8_t> before = pair().toc;
        {
            Section s(Section::SPDATA, nullptr);
            open(s);
            if (*r.fault) platsim::setFault("UtilFile.read", r.fault);
        }
        platsim::clearFaults();
        NodalPair p = pair();
        // Entries, header size, data file size (stored, then actual), total size.
        EXPECT_EQ((std::vector<uint32_t>{p.entryCount(), p.toc[9], be32(p.toc, 24), uint32_t(p.data.size()),
                                         be32(p.toc, 16)}),
                  (std::vector<uint32_t>{r.entries, r.headerSizeOf40 ? 40u : 48u, r.dataFileSize, r.dataFileSize,
                                         r.totalSize}));
        EXPECT_EQ(slice(p.toc, 48, p.toc.size() - 48), slice(before, 48, 12 * r.entries));
    }
}

// What a failed or short item leaves: it is not cut back out of the files,
// and the next item goes at the data file's end. Items 31, 32 (meeting the
// failure) and 33; then the pair as the destructor leaves it.
TEST_F(NodalSection, AFailedItemStaysAndTheNextGoesAtTheDataFilesEnd) {
    const uint32_t a = uint32_t(itemBytes(31).size()), b = uint32_t(itemBytes(32).size()),
                   c = uint32_t(itemBytes(33).size());
    const struct {
        const char *fault, *params;  // no fault: item 32 has no data buffer
        std::string log;             // of item 32
        std::vector<std::vector<uint32_t>> entries;  // id, offset, size
        uint32_t dataEnd;                            // before the padding
    } rows[] = {
        {"statfs", "count=1", "", {{31, 0, a}, {32, a, b}, {33, a, c}}, a + c},  // the data write falls short
        {"", "", "", {{31, 0, a}, {32, a, 10}, {33, a, c}}, a + c},
        {"UtilFile.write", "count=1 match=n.toc", "090F0B10", {{31, 0, a}, {33, a + b, c}}, a + b + c},
        {"UtilFile.seek", "count=1 match=n.data", "", {{31, 0, a}, {32, a, b}, {33, a + b, c}}, a + b + c},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.fault) + " " + r.params);
        removePair();
        {
            Section s(Section::SPDATA, nullptr);
            open(s);
            ASSERT_EQ(putItem(s, 31), nullptr);
            DumpSpTocEntry unbacked{32, 0, 10};
            if (*r.fault) platsim::setFault(r.fault, r.params);
            std::string log = signature(*r.fault ? putItem(s, 32) : s.writeEntry(unbacked, nullptr));
            platsim::clearFaults();
            EXPECT_EQ(log.substr(log.find(' ') + 1, 8), r.log);
            EXPECT_EQ(putItem(s, 33), nullptr);
        }
        NodalPair p = pair();
        std::vector<std::vector<uint32_t>> entries;
        for (uint32_t i = 0; i < p.entryCount(); ++i) entries.push_back({p.word(i, 0), p.word(i, 4), p.word(i, 8)});
        EXPECT_EQ(entries, r.entries);
        EXPECT_EQ(p.data.size(), r.dataEnd + (16 - (r.dataEnd + p.toc.size()) % 16) % 16);
        EXPECT_EQ(be32(p.toc, 24), p.data.size());
    }
}

// A second create changes nothing; a full file system marks the summary
// and leaves a consistent pair.
TEST_F(NodalSection, ASecondCreateChangesNothingAndAFullFileSystemMarksTheSummary) {
    create(kSys);
    std::unique_ptr<DumpSummary> dump = DumpTest::open(kSys);
    std::string otherToc = "/plat_dump/o.toc", otherData = "/plat_dump/o.data";
    {
        Section s(Section::SPDATA, dump.get());
        open(s);
        ASSERT_EQ(putItem(s, 31), nullptr);
        EXPECT_EQ(s.createNodalFiles(otherToc, otherData, 1), nullptr);
        EXPECT_EQ(s.getTocFileName() + " " + s.getDataFileName(), toc + " " + data);
        platsim::setStatfs(1000, 70);
        EXPECT_EQ(putItem(s, 32), nullptr) << "the writes fell short: traced only";
        EXPECT_EQ(dump->getHWErrorFlags(), 0x8200);
        EXPECT_EQ(dump->getDumpFlags(), 0x1000);
        EXPECT_EQ(newLogs(), std::vector<std::string>{"0B132407 0 0 0 rc=22 sev=20 tr=dump"});
    }
    EXPECT_EQ(checkConsistent(pair()), std::vector<uint32_t>{31});
    EXPECT_FALSE(fileExists(primary(otherToc)) || fileExists(primary(otherData)));
    Section unopened(Section::HWDATA, nullptr);
    EXPECT_EQ(unopened.getTocFileName() + unopened.getDataFileName(), "");
}

}  // namespace
