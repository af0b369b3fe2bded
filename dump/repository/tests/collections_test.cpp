// Listing the repository, the id listings of each kind, counting,
// summarising and the choice of the current dump, on real directories
// with odd entries, and on a repository that cannot be read.
#include <cerrno>

#include "dump/repository/tests/repositoryTest.h"

using namespace repotest;
using testsupport::locationWord;

namespace {

using Ids = std::vector<unsigned>;

class Collections : public RepositoryTest {};

TEST_F(Collections, ListingsOfAnOddDirectory) {
    for (const char* n : {"SYSDUMP.0000001A.summary", "SYSDUMP.1B.summary", "SYSDUMP.0000001C.summary.bak",
                          "SYSDUMP.000000123.summary", "SYSDUMP.FFFFFFFF.summary", "SYSDUMP.0000002D",
                          "sysdump.0000002E.summary", "old-SYSDUMP.0000004F.summary", "RESDUMP.FFFFFFFF.summary",
                          "RESDUMP.00000C3D.summary", "HWUDUMP.FFFFFFFF.summary", "HWUDUMP.01000003.summary",
                          "HWUDUMP.01000001.summary", "HWUDUMP.10000002.summary", "notes.txt", ".hidden"})
        foreign(n);
    ASSERT_EQ(mkdir(primary(inRepo("SYSDUMP.0000003E.summary.d")).c_str(), 0755), 0);

    Names paths = {"kept"}, expected = {"kept"};
    for (const std::string& n : entries()) expected.push_back(inRepo(n));  // the C locale's order
    EXPECT_EQ(DumpCollections::listFilenames(paths), nullptr);
    EXPECT_EQ(paths, expected);

    Ids sys = {7}, hwu, res;
    EXPECT_EQ(DumpCollections::listSYSDUMPIds(sys), nullptr);
    EXPECT_EQ(DumpCollections::listSYSDUMPIds(sys), nullptr);
    EXPECT_EQ(DumpCollections::listHWUDUMPIds(hwu), nullptr);
    EXPECT_EQ(DumpCollections::listRESDUMPIds(res), nullptr);
    EXPECT_EQ(sys, (Ids{7, 0x12, 0x1A, 0x1C, 0x3E, 0x1B, 0, 0x12, 0x1A, 0x1C, 0x3E, 0x1B, 0}));
    EXPECT_EQ(hwu, (Ids{0x10000002, 0x01000001, 0x01000003, 0xFFFFFFFF}));
    EXPECT_EQ(res, (Ids{0xC3D}));
}

TEST_F(Collections, ARepositoryThatCannotBeReadFailsEveryListing) {
    for (int err : {ENOENT, EACCES}) {
        SCOPED_TRACE(err);
        if (err == ENOENT) ASSERT_EQ(rmdir(primary("/plat_dump").c_str()), 0);
        else platsim::setFault("scandir", "errno=" + std::to_string(err));
        Names paths = {"kept"};
        Json e = taken(DumpCollections::listFilenames(paths));
        EXPECT_EQ(e["srcs"][0]["words"], Json::array({word(0x021C, 20), err, 0, 0}));
        EXPECT_EQ(paths, Names{"kept"});

        const std::pair<ErrlEntry* (*)(Ids&), Json> listings[] = {
            {DumpCollections::listHWUDUMPIds, {0x0800, 0x1C, 8, 0}},
            {DumpCollections::listSYSDUMPIds, {0x0900, 0x1C, 9, 0}},
            {DumpCollections::listRESDUMPIds, {0x0700, 0x1C, 2, 0}}};
        for (const auto& l : listings) {
            Ids ids;
            e = taken(l.first(ids));
            EXPECT_EQ(locationWord(e), word(0x021C, 20));
            EXPECT_EQ(lastCallPoint(e), l.second);
            EXPECT_TRUE(ids.empty());
        }
        unsigned n[5] = {9, 9, 9, 9, 9}, id = 9;
        EXPECT_FALSE(DumpCollections::CountDumps(n[0], n[1], n[2], n[3], n[4]));
        EXPECT_EQ(Ids(n, n + 5), Ids(5, 0));
        EXPECT_FALSE(DumpCollections::GetCurrentDumpID(id));
        EXPECT_EQ(id, 0u);
        std::vector<_dumpstate> states;
        EXPECT_EQ(locationWord(taken(DumpCollections::dumpSummarizeDumps(states))), word(0x021C, 20));
        EXPECT_TRUE(states.empty());
        EXPECT_TRUE(errlog().empty());
        platsim::clearFaults();
    }
}

TEST_F(Collections, CountsAndTheCurrentDumpOfMixedRepositories) {
    struct Dump {
        Type type;
        unsigned id;
        uint16_t flags;
    };
    const Type S = DumpSummary::SYS, H = DumpSummary::HWU, R = DumpSummary::RSC;
    const struct {
        std::vector<Dump> dumps;
        Ids expected;  // sys, sys incomplete, hwu, hwu incomplete, set apart; current (0: none)
    } cases[] = {
        {{}, {0, 0, 0, 0, 0, 0}},
        {{{S, 0x12, 0}, {S, 0x10, kComplete}, {S, 0x11, 0}, {H, 0x01000001, kComplete}, {H, 0x01000002, 0},
          {R, 0xC3D, 0}},
         {3, 2, 2, 1, 0, 0x11}},
        {{{S, 0x10, kComplete}, {S, 0x11, kComplete}}, {2, 0, 0, 0, 0, 0x11}},
        {{{S, 0x10, kSetApart}}, {0, 0, 0, 0, 0x10, 0}},
        {{{S, 0x10, kSetApart}, {S, 0x11, kComplete}, {H, 0x02000005, kSetApart | kComplete}, {H, 0x01000006, 0},
          {R, 0x20, kSetApart}},
         {1, 0, 1, 1, 0x02000005, 0x11}},
        {{{H, 0x01000001, 0}, {R, 0x1, 0}}, {0, 0, 1, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        for (const std::string& n : entries()) ASSERT_EQ(unlink(primary(inRepo(n)).c_str()), 0);
        for (const Dump& d : c.dumps) dump(d.type, d.id, d.flags);
        Ids got(6, 9);
        EXPECT_TRUE(DumpCollections::CountDumps(got[0], got[1], got[2], got[3], got[4]));
        EXPECT_EQ(DumpCollections::GetCurrentDumpID(got[5]), c.expected[5] != 0);
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(Collections, SummariesComeByKindAndSkipWhatCannotBeOpened) {
    dump(DumpSummary::RSC, 0xC3D);
    dump(DumpSummary::HWU, 0x01000001);
    dump(DumpSummary::SYS, 0x1B);
    dump(DumpSummary::SYS, 0x1A, kComplete);
    testsupport::writeFile(primary(inRepo("SYSDUMP.0000001B.summary")), std::string(4372, 'Z'));

    std::vector<_dumpstate> states(1);
    states[0].dumpId = 7;
    EXPECT_EQ(DumpCollections::dumpSummarizeDumps(states), nullptr);
    ASSERT_EQ(states.size(), 4u);
    const unsigned ids[] = {7, 0x1A, 0x01000001, 0xC3D}, types[] = {0, 2, 1, 3};
    for (size_t i = 1; i < states.size(); ++i) {
        EXPECT_EQ(states[i].dumpId, ids[i]);
        EXPECT_EQ(states[i].summaryType, types[i]);
        EXPECT_EQ(states[i].size, 92u);
    }
    EXPECT_EQ(states[1].dumpFlags, kComplete);
    EXPECT_EQ(states[1].progress, 100u);
    EXPECT_FALSE(testsupport::fileExists(primary(inRepo("SYSDUMP.0000001B.summary"))));
    EXPECT_TRUE(errlog().empty());
}

}  // namespace
