// Listing the repository, the id listings of each kind, counting,
// summarising and the choice of the current dump, on real directories
// with odd entries, and on a repository that cannot be read.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platdump/platdump.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

using Ids = std::vector<unsigned>;
using Names = std::vector<std::string>;

class Collections : public DumpTest {};

TEST_F(Collections, ListingsOfAnOddDirectory) {
    for (const char* n : {"SYSDUMP.0000001A.summary", "SYSDUMP.1B.summary", "SYSDUMP.0000001C.summary.bak",
                          "SYSDUMP.000000123.summary", "SYSDUMP.FFFFFFFF.summary", "SYSDUMP.0000002D",
                          "sysdump.0000002E.summary", "old-SYSDUMP.0000004F.summary", "RESDUMP.FFFFFFFF.summary",
                          "RESDUMP.00000C3D.summary", "HWUDUMP.FFFFFFFF.summary", "HWUDUMP.01000003.summary",
                          "HWUDUMP.01000001.summary", "HWUDUMP.10000002.summary", "notes.txt", ".hidden"})
        writeFile(primary("/plat_dump/" + std::string(n)), "x");
    ASSERT_EQ(mkdir(primary("/plat_dump/SYSDUMP.0000003E.summary.d").c_str(), 0755), 0);

    Names paths = {"kept"}, expected = {"kept"};
    for (const std::string& n : listing()) expected.push_back("/plat_dump/" + n);
    EXPECT_EQ(DumpCollections::listFilenames(paths), nullptr);
    EXPECT_EQ(paths, expected);

    Ids sys = {7}, hwu, res;
    EXPECT_EQ((std::vector<ErrlEntry*>{DumpCollections::listSYSDUMPIds(sys), DumpCollections::listSYSDUMPIds(sys),
                                       DumpCollections::listHWUDUMPIds(hwu), DumpCollections::listRESDUMPIds(res)}),
              std::vector<ErrlEntry*>(4, nullptr));
    EXPECT_EQ(sys, (Ids{7, 0x12, 0x1A, 0x1C, 0x3E, 0x1B, 0, 0x12, 0x1A, 0x1C, 0x3E, 0x1B, 0}));
    EXPECT_EQ(hwu, (Ids{0x10000002, 0x01000001, 0x01000003, 0xFFFFFFFF}));
    EXPECT_EQ(res, (Ids{0xC3D}));
}

TEST_F(Collections, ARepositoryThatCannotBeReadFailsEveryListing) {
    for (int err : {ENOENT, EACCES}) {
        SCOPED_TRACE(err);
        if (err == ENOENT)
            ASSERT_EQ(rmdir(primary("/plat_dump").c_str()), 0);
        else
            platsim::setFault("scandir", "errno=" + std::to_string(err));
        const std::string unreadable = "021C0B14 " + hex(err) + " 0 0 rc=1 sev=20";
        Names paths = {"kept"};
        EXPECT_EQ(signature(DumpCollections::listFilenames(paths)), unreadable + " tr=dump");
        EXPECT_EQ(paths, Names{"kept"});
        const std::pair<ErrlEntry* (*)(Ids&), const char*> listings[] = {{DumpCollections::listHWUDUMPIds, "081C:8"},
                                                                          {DumpCollections::listSYSDUMPIds, "091C:9"},
                                                                          {DumpCollections::listRESDUMPIds, "071C:2"}};
        for (const auto& l : listings) {
            Ids ids;
            EXPECT_EQ(signature(l.first(ids)), unreadable + " cp=" + l.second + ":0 tr=dump");
            EXPECT_TRUE(ids.empty());
        }
        Ids n(6, 9);  // the counts, then the current id
        EXPECT_FALSE(DumpCollections::CountDumps(n[0], n[1], n[2], n[3], n[4]));
        EXPECT_FALSE(DumpCollections::GetCurrentDumpID(n[5]));
        EXPECT_EQ(n, Ids(6, 0));
        std::vector<_dumpstate> states;
        EXPECT_EQ(signature(DumpCollections::dumpSummarizeDumps(states)), unreadable + " cp=091C:9:0 tr=dump");
        EXPECT_TRUE(states.empty());
        platsim::clearFaults();
    }
}

TEST_F(Collections, CountsAndTheCurrentDumpOfMixedRepositories) {
    const uint16_t done = 0x8000, apart = 0x0081;
    struct Dump { DumpSummary::typeOfSummary_t type; unsigned id; uint16_t flags; };
    const auto S = DumpSummary::SYS, H = DumpSummary::HWU, R = DumpSummary::RSC;
    // expected: sys, sys incomplete, hwu, hwu incomplete, set apart; current (0: none).
    const struct { std::vector<Dump> dumps; Ids expected; } cases[] = {
        {{}, {0, 0, 0, 0, 0, 0}},
        {{{S, 0x12, 0}, {S, 0x10, done}, {S, 0x11, 0}, {H, 0x01000001, done}, {H, 0x01000002, 0}, {R, 0xC3D, 0}},
         {3, 2, 2, 1, 0, 0x11}},
        {{{S, 0x10, done}, {S, 0x11, done}}, {2, 0, 0, 0, 0, 0x11}},
        {{{S, 0x10, apart}}, {0, 0, 0, 0, 0x10, 0}},
        {{{S, 0x10, apart}, {S, 0x11, done}, {H, 0x02000005, apart | done}, {H, 0x01000006, 0}, {R, 0x20, apart}},
         {1, 0, 1, 1, 0x02000005, 0x11}},
        {{{H, 0x01000001, 0}, {R, 0x1, 0}}, {0, 0, 1, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::filesystem::remove_all(primary("/plat_dump"));
        std::filesystem::create_directory(primary("/plat_dump"));
        for (const Dump& d : c.dumps) makeDump({d.type, d.id}, d.flags);
        Ids got(6, 9);
        EXPECT_TRUE(DumpCollections::CountDumps(got[0], got[1], got[2], got[3], got[4]));
        EXPECT_EQ(DumpCollections::GetCurrentDumpID(got[5]), c.expected[5] != 0);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(Collections, SummariesComeByKindAndSkipWhatCannotBeOpened) {
    makeDump(kRsc, 0);
    makeDump({DumpSummary::HWU, 0x01000001}, 0);
    makeDump({DumpSummary::SYS, 0x1B}, 0);
    makeDump(kSys, 0x8000);
    writeFile(primary("/plat_dump/SYSDUMP.0000001B.summary"), std::string(4372, 'Z'));

    std::vector<_dumpstate> states(1);
    states[0].dumpId = 7;
    EXPECT_EQ(DumpCollections::dumpSummarizeDumps(states), nullptr);
    ASSERT_EQ(states.size(), 4u);
    std::vector<Ids> got;  // id, kind, record size
    for (size_t i = 1; i < states.size(); ++i) got.push_back({states[i].dumpId, states[i].summaryType, states[i].size});
    EXPECT_EQ(got, (std::vector<Ids>{{0x1A, 2, 92}, {0x01000001, 1, 92}, {0xC3D, 3, 92}}));
    EXPECT_EQ(states[1].dumpFlags, 0x8000);
    EXPECT_EQ(states[1].progress, 100u);
    EXPECT_FALSE(fileExists(primary("/plat_dump/SYSDUMP.0000001B.summary")));
}

}  // namespace
