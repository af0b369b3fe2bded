// Deleting dumps (here and on the backup) and the orphan sweep on a
// repository of many dumps with foreign entries, damaged summaries and
// half-deleted leftovers; the failure table of both. (Deletion and
// extraction exclude each other: the extraction tests.)
#include <sys/stat.h>
#include <unistd.h>

#include "platdump/platdump.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

using Names = std::vector<std::string>;

class Deletion : public DumpTest {
protected:
    static Names without(Names names, const Names& gone) {
        for (const std::string& g : gone) names.erase(std::remove(names.begin(), names.end(), g), names.end());
        return names;
    }
    void foreign(const std::string& name) { writeFile(primary("/plat_dump/" + name), "x"); }
};

TEST_F(Deletion, RemovesExactlyTheDumpsFilesOnBothSides) {
    makeDump(kSys, 0, Parts().pairs(2).logged());
    makeDump({DumpSummary::SYS, 0x1B}, 0, Parts().pairs(1));
    create(kHwu);
    const Names here = listing(), there = listing(true);
    const Names gone = {"0000001A.HwData0", "0000001A.HwData1", "0000001A.HwToc0", "0000001A.HwToc1",
                        "0000001A.SysData", "0000001A.SysTOC", "SYSDUMP.0000001A.summary", "dumpstatus.0000001A"};
    std::unique_ptr<DumpSummary> a = open(kSys);
    EXPECT_TRUE(DeleteDump(a.get()));
    EXPECT_EQ(listing(), without(here, gone));
    EXPECT_EQ(listing(true), without(there, gone));
    foreign("notes.txt");
    a.reset();  // the summary is gone: the destructor sweeps again
    EXPECT_EQ(listing(), without(here, gone));

    // A dump naming no file goes all the same but is reported false; files
    // already gone do not matter.
    EXPECT_FALSE(DeleteDump(open(kHwu).get()));
    unlink(primary("/plat_dump/0000001B.HwData0").c_str());
    EXPECT_TRUE(DeleteDump_nolock(open({DumpSummary::SYS, 0x1B}).get()));
    EXPECT_FALSE(DeleteDump(nullptr));
    for (bool onBackup : {false, true}) EXPECT_EQ(listing(onBackup), Names{}) << onBackup;
}

// The answer comes of the one names list the summary gives: an empty list,
// whether the dump names no file or its names could not be read, makes it
// false and the deletion goes on; nothing more is read or opened to find
// names (the sweep takes named files no summary claims any more).
TEST_F(Deletion, AnEmptyNamesListMakesTheAnswerFalse) {
    // The fault set before the open, or between the open and the deletion.
    const struct { bool named, faultBeforeOpen; const char *fault, *params; } rows[] = {
        {true, true, "UtilFile.read", "after=1 count=2 match=.summary"},  // the open's names read and the re-read
        {false, false, "UtilFile.Open", "match=.summary"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fault);
        if (r.named)
            makeDump(kSys, 0, Parts().pairs(2));
        else
            create(kSys);
        if (r.faultBeforeOpen) platsim::setFault(r.fault, r.params);
        std::unique_ptr<DumpSummary> s = open(kSys);
        if (!r.faultBeforeOpen) platsim::setFault(r.fault, r.params);
        EXPECT_FALSE(DeleteDump(s.get()));
        platsim::clearFaults();
        EXPECT_EQ(listing(), Names{});
    }
}

TEST_F(Deletion, TheSweepRemovesExactlyWhatNoReadableSummaryClaims) {
    Names claimed;
    const DumpSummary::typeOfSummary_t kinds[] = {DumpSummary::SYS, DumpSummary::HWU, DumpSummary::RSC};
    for (unsigned i = 0; i < 24; ++i) {
        Names named = makeDump({kinds[i % 3], (i % 3 == 1 ? 0x01000000 : 0) + 0x20 + i}, i % 2 ? 0x8000 : 0,
                               Parts().pairs(i % 4).logged());
        claimed.insert(claimed.end(), named.begin(), named.end());
    }
    // A dump whose summary is damaged and one deleted half-way claim nothing.
    makeDump({DumpSummary::SYS, 0x1D}, 0, Parts().pairs(2).logged());
    makeDump({DumpSummary::SYS, 0x1E}, 0, Parts().pairs(1).logged());
    writeFile(primary("/plat_dump/SYSDUMP.0000001D.summary"), std::string(300, 'Z'));
    unlink(primary("/plat_dump/SYSDUMP.0000001E.summary").c_str());
    // A name recorded without the directory, an MDST file (claimed), and
    // entries close to claimed names.
    std::string relative = "00000020.SpData0", mdst = "/plat_dump/00000020.MDST", none;
    open({DumpSummary::SYS, 0x20})->SetSPDATAFileNames(0, relative, none);
    open({DumpSummary::SYS, 0x20})->setMDSTFileName(mdst, 4);
    claimed.push_back(mdst);
    for (const char* n : {"00000020.SpData0", "00000020.MDST", "notes.txt", "flatsrc.0000001a.tmp",
                          "SYSDUMP.00000020.summary.bak", "00000021.HwData0x", "dumpstatus.0000001a"})
        foreign(n);
    ASSERT_EQ(mkdir(primary("/plat_dump/olddir").c_str(), 0755), 0);

    // The exhaustive comparison; the directory stays as its removal fails.
    Names expected = {"olddir"};
    for (const std::string& n : listing())
        if (std::find(claimed.begin(), claimed.end(), "/plat_dump/" + n) != claimed.end()) expected.push_back(n);
    std::sort(expected.begin(), expected.end());
    const Names there = without(listing(true), {"SYSDUMP.0000001D.summary"});
    DumpCollections::removeOrphanedFiles();
    EXPECT_EQ(listing(), expected);
    EXPECT_EQ(listing(true), there) << "only the damaged summary goes on the backup";
    // One notice per failed removal, in listing order: the damaged summary,
    // which its own open removed before its turn came, and the directory.
    EXPECT_EQ(newLogs(), Names(2, "0C1C0B0F 0 0 0 rc=1 sev=0"));
}

TEST_F(Deletion, FailureTable) {
    auto deletion = [this] { EXPECT_EQ(DeleteDump(open(kSys).get()), false); return nullptr; };
    auto sweep = [] { DumpCollections::removeOrphanedFiles(); return nullptr; };
    auto kept = [this](const char* name) {
        return [this, name] { EXPECT_TRUE(fileExists(primary("/plat_dump/" + std::string(name)))); };
    };
    auto dumpWith = [this](const char* name, const char* params) {
        return [this, name, params] {
            makeDump(kSys, 0, Parts().pairs(1));
            foreign("notes.txt");
            platsim::setFault(name, params);
        };
    };
    expectRows({
        {"the extraction semaphore cannot be set up", dumpWith("UtilSemaphore.init", "count=1 match=dump.3"),
         deletion, "", {"platform:1301 rc=1 sev=0 cp=030D:20:0"}, kept("SYSDUMP.0000001A.summary")},
        {"the extraction semaphore cannot be taken", dumpWith("UtilSemaphore.Down", "count=1 match=dump.3"), deletion,
         "", {"platform:1302 rc=1 sev=0 cp=030D:21:0"}, kept("SYSDUMP.0000001A.summary")},
        {"the extraction semaphore cannot be given back", dumpWith("UtilSemaphore.Up", "count=1 match=dump.3"),
         [this] { EXPECT_TRUE(DeleteDump(open(kSys).get())); return nullptr; }, "",
         {"platform:1303 rc=1 sev=0 cp=030D:12:0"}, [this] { EXPECT_FALSE(fileExists(primary(summaryPath(kSys)))); }},
        {"sweep: the directory cannot be listed", dumpWith("scandir", "count=1"), sweep, "",
         {"021C0B14 5 0 0 rc=1 sev=20 cp=0C1C:5:0 tr=dump"}, kept("notes.txt")},
        {"sweep: the system dumps cannot be listed", dumpWith("scandir", "count=1 after=1"), sweep, "",
         {"021C0B14 5 0 0 rc=1 sev=20 cp=091C:9:0 cp=0C1C:10:0 tr=dump"}, kept("notes.txt")},
        {"sweep: the hardware-unit dumps cannot be listed", dumpWith("scandir", "count=1 after=2"), sweep, "",
         {"021C0B14 5 0 0 rc=1 sev=20 cp=081C:8:0 cp=0C1C:11:0 tr=dump"}, kept("notes.txt")},
        {"sweep: the resource dumps cannot be listed", dumpWith("scandir", "count=1 after=3"), sweep, "",
         {"021C0B14 5 0 0 rc=1 sev=20 cp=071C:2:0 cp=0C1C:12:0 tr=dump"}, kept("notes.txt")},
        {"sweep: a removal fails", [] { ::mkdir(platsim::hostPath("/plat_dump/olddir").c_str(), 0755); }, sweep, "",
         {"0C1C0B0F 0 0 0 rc=1 sev=0"}, kept("olddir")},
    });
}

}  // namespace
