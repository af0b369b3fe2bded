// `platdump list` and `delete` run as a user runs them, on the repository
// the library keeps on the test's simulation root.
#include "toolTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

class RepositoryCommand : public ToolTest {};

TEST_F(RepositoryCommand, ListShowsEachDumpTheCountsAndTheCurrentOne) {
    completeDump(0x1A, false);
    createDump(DumpSummary::SYS, 0x1B);
    createDump(DumpSummary::HWU, 0x0100002B);
    ToolRun r = platdump({"list", "--json", "--counts", "--current"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json j = r.json();
    ASSERT_EQ(j["dumps"].size(), 3u) << r.out;
    const Json& complete = j["dumps"][0];
    EXPECT_EQ(complete["dumpId"], 0x1A);
    EXPECT_EQ(complete["kind"], "SYS");
    EXPECT_EQ(complete["complete"], true);
    EXPECT_EQ(complete["progress"], 100);
    EXPECT_EQ(complete["dumpSize"], extracted(0x1A, false).size());
    EXPECT_EQ(complete["dumpFileName"], "SYSDUMP.AB12CD3.0000001A.20261205203015");
    EXPECT_EQ(j["dumps"][1]["complete"], false);
    EXPECT_EQ(j["dumps"][2]["kind"], "HWU");
    EXPECT_EQ(j["counts"], Json({{"systemDumps", 2},
                                 {"systemDumpsNotComplete", 1},
                                 {"hardwareUnitDumps", 1},
                                 {"hardwareUnitDumpsNotComplete", 1},
                                 {"setApartDumpId", nullptr}}));
    EXPECT_EQ(j["currentDumpId"], 0x1B);  // the lowest one not complete

    r = platdump({"list", "--current"});
    EXPECT_NE(r.out.find("0x0000001A  SYS   yes       100%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 dumps\ncurrent dump: 0x0000001B\n"), std::string::npos) << r.out;
}

TEST_F(RepositoryCommand, DeleteRemovesTheDumpAndEveryFileItNamed) {
    completeDump(0x1A, true);
    platsim::setFault("UtilSemaphore.Down", "match=dump.3");  // no deletion while extraction is barred
    ToolRun r = platdump({"delete", "1A"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("the library did not delete dump 0x0000001A"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("call point: module 0x030D (DeleteDump, function 3), location 0x21"), std::string::npos)
        << r.err;
    EXPECT_TRUE(fileExists(primary("/plat_dump/SYSDUMP.0000001A.summary")));

    platsim::clearFaults();
    r = platdump({"delete", "1A"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("deleted dump 0x0000001A (SYS)"), std::string::npos) << r.out;
    EXPECT_TRUE(files(primary("/plat_dump")).empty());
    EXPECT_EQ(platdump({"delete", "1A"}).code, 1);
}

}  // namespace
