// `platdump check` run as a user runs it: a sound repository checks clean;
// each kind of finding comes from a repository damaged that way, with its
// dump and path; nothing under the simulation root changes.
#include <functional>
#include <set>

#include "checkTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

const std::string kSummary = "/plat_dump/SYSDUMP.0000001A.summary";
const std::string kStatusLog = "/plat_dump/dumpstatus.0000001A";
const Json kDump = "0x0000001A";
const Json kNoDump = nullptr;

std::string text(const Bytes& b) { return std::string(b.bytes().begin(), b.bytes().end()); }
std::string be32(uint32_t v) { return text(Bytes().u32(v)); }
std::string be64(uint64_t v) { return text(Bytes().u64(v)); }

struct Damage {
    const char* name;
    std::function<void(CheckTest&)> apply;
    std::vector<CheckTest::Found> expected;
};
void PrintTo(const Damage& d, std::ostream* out) { *out << d.name; }

class CheckDamage : public CheckTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(CheckDamage, IsFoundWithItsDumpAndPathAndNothingChanges) {
    mirroredDump(0x1A);  // sound: in DamageInTwoDumps nothing but the damage is found in such a dump
    GetParam().apply(*this);
    ToolRun r = check();
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.json()["consistent"], false);
    EXPECT_EQ(found(r), GetParam().expected) << r.out;
}

const Damage kDamages[] = {
    {"FileEyeCatcher", [](CheckTest& t) { t.patchBoth(kSummary, 0, "FILX"); },
     {{"summary-damaged", kDump, kSummary}}},
    {"SummaryIdAgainstItsName", [](CheckTest& t) { t.patchBoth(kSummary, 224, be32(0x1B)); },
     {{"summary-damaged", kDump, kSummary}}},
    {"NamedFileGone", [](CheckTest& t) {
         std::filesystem::remove(t.primary("/plat_dump/HwData.26"));
         std::filesystem::remove(t.backup("/plat_dump/HwData.26"));
     },
     {{"file-missing", kDump, "/plat_dump/HwData.26"}}},
    {"TotalSize", [](CheckTest& t) { t.patchBoth(kSummary, 232, be64(1)); },
     {{"size-mismatch", kDump, kSummary}}},
    {"DataFileGrew", [](CheckTest& t) { t.patchBoth("/plat_dump/SpData.26", std::string::npos, "x"); },
     {{"size-mismatch", kDump, "/plat_dump/SpData.26"}, {"section-inconsistent", kDump, "/plat_dump/SpTOC.26"}}},
    {"TocCutInsideAnEntry", [](CheckTest& t) { t.resizeBoth("/plat_dump/HwTOC.26", 48 + 3 * 28 - 10); },
     {{"size-mismatch", kDump, "/plat_dump/HwTOC.26"}, {"section-inconsistent", kDump, "/plat_dump/HwTOC.26"}}},
    {"ItemsOverlapAndLeaveAGap",  // the second item moved one byte back: it overlaps the first, a gap follows it
     [](CheckTest& t) { t.patchBoth("/plat_dump/HwTOC.26", 48 + 28 + 16, be32(12)); },
     {{"items-misplaced", kDump, "/plat_dump/HwTOC.26"}}},
    {"MdrtRegionsShortOfTheMainStore", [](CheckTest& t) { t.patchBoth("/plat_dump/MDRT.26", 20, be32(4999)); },
     {{"mdrt-damaged", kDump, "/plat_dump/MDRT.26"}}},
    {"StatusLogLines",
     [](CheckTest& t) { t.patchBoth(kStatusLog, std::string::npos, "HW_COLLECT_START,12x\nlower,5\nMS_COLLECT_DONE,1"); },
     {{"status-log-damaged", kDump, kStatusLog},
      {"status-log-damaged", kDump, kStatusLog},
      {"status-log-damaged", kDump, kStatusLog}}},
    {"ForeignFile", [](CheckTest& t) { t.patchBoth("/plat_dump/notes.txt", 0, "notes"); },
     {{"orphan", kNoDump, "/plat_dump/notes.txt"}}},
    {"NameOutsideTheRepository",
     [](CheckTest& t) {
         std::filesystem::create_directories(t.primary("/var"));
         writeFile(t.primary("/var/extra.bin"), "resource data");
         std::string name = "/var/extra.bin";
         t.openDump(0x1A)->setResourceDumpFileName(name);
     },
     {{"name-outside-repository", kDump, "/var/extra.bin"}}},
};

INSTANTIATE_TEST_SUITE_P(Kinds, CheckDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

class CheckCommand : public CheckTest {};

TEST_F(CheckCommand, EmptyRepositoryAndDumpsOfEveryKindBeingCollectedCheckClean) {
    ToolRun r = check();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json(), Json({{"consistent", true}, {"dumps", 0}, {"findings", Json::array()}}));
    r = check({});
    EXPECT_EQ(r.out, "0 dumps checked, no findings: the repository is consistent\n");

    auto sys = createDump(DumpSummary::SYS, 0x1B);
    auto hwu = createDump(DumpSummary::HWU, 0x0100002B);
    auto rsc = createDump(DumpSummary::RSC, 0x2C);
    DumpStatusLogger(0x2C).setStartCollectionPhase(0xFFFFFFFF);  // "HWCOLLECTION_PHASE-1_START"
    r = check();
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.json()["dumps"], 3);
}

TEST_F(CheckCommand, DamageInTwoDumpsIsReportedForEachGroupedByDump) {
    mirroredDump(0x1B);
    mirroredDump(0x1A);
    patchBoth("/plat_dump/dumpstatus.0000001B", std::string::npos, "junk\n");
    patchBoth("/plat_dump/notes.txt", 0, "notes");
    resizeBoth("/plat_dump/HwData.26", 100);

    ToolRun r = check();
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.json()["dumps"], 2);
    EXPECT_EQ(found(r), (std::vector<Found>{{"size-mismatch", kDump, "/plat_dump/HwData.26"},
                                            {"section-inconsistent", kDump, "/plat_dump/HwTOC.26"},
                                            {"status-log-damaged", "0x0000001B", "/plat_dump/dumpstatus.0000001B"},
                                            {"orphan", kNoDump, "/plat_dump/notes.txt"}}))
        << r.out;

    r = check({});
    EXPECT_NE(r.out.find("0x0000001B  status-log-damaged    /plat_dump/dumpstatus.0000001B: line 2: no comma: "
                         "\"junk\"\n-           orphan                /plat_dump/notes.txt: no dump claims it: "
                         "the library's orphan sweep would remove it (here only, not on the backup)\n"
                         "2 dumps checked, 4 findings: the repository is NOT consistent\n"),
              std::string::npos)
        << r.out;

    r = check({"1B", "--json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.json()["dumps"], 1);
    EXPECT_EQ(found(r), (std::vector<Found>{{"status-log-damaged", "0x0000001B", "/plat_dump/dumpstatus.0000001B"}}));
}

TEST_F(CheckCommand, OrphansAreWhatTheLibrarysSweepRemoves) {
    mirroredDump(0x1B);
    mirroredDump(0x1A);
    patchBoth(kSummary, 208, "XXX DUMP");  // no kind's: the library cannot open it
    patchBoth("/plat_dump/SYSDUMP.1C.summary", 0, std::string(4372, '\0'));
    patchBoth("/plat_dump/flatsrc.0000001b.tmp", 0, "src");
    patchBoth("/plat_dump/dumpstatus.0000002D", 0, "SYSTEM_DUMP_REQ,1\n");

    ToolRun r = check();
    Json findings = r.json()["findings"];
    ASSERT_FALSE(findings.empty()) << r.out;
    EXPECT_EQ(findings[0]["kind"], "summary-damaged");
    EXPECT_NE(findings[0]["detail"].get<std::string>().find("the library cannot open"), std::string::npos);
    std::set<std::string> orphans;
    for (const Json& f : findings)
        if (f["kind"] == "orphan") orphans.insert(f["path"]);

    // The sweep removes 0x1A's 8 files and 3 foreign ones, and its summary
    // (by the library's open), and nothing else.
    const size_t before = files(primary("/plat_dump")).size();
    DumpCollections::removeOrphanedFiles();
    orphans.insert(kSummary);
    for (const std::string& path : orphans) EXPECT_FALSE(fileExists(primary(path))) << path;
    EXPECT_EQ(files(primary("/plat_dump")).size(), before - orphans.size()) << r.out;
}

// A copy gone from the backup, one that differs, and a file only the
// backup holds.
TEST_F(CheckCommand, MirrorFindingsNameTheMirrorCommandAsTheirRemedy) {
    mirroredDump(0x1A);
    std::filesystem::remove(backup("/plat_dump/SpTOC.26"));
    patchFile(backup("/plat_dump/HwData.26"), 7, "\x01");  // was 0
    writeFile(backup("/plat_dump/stale.txt"), "left behind");
    ToolRun r = check();
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(found(r), (std::vector<Found>{{"mirror-differs", kDump, "/plat_dump/HwData.26"},
                                            {"mirror-missing", kDump, "/plat_dump/SpTOC.26"},
                                            {"backup-only", kNoDump, "/plat_dump/stale.txt"}}))
        << r.out;
    const Json report = r.json();
    for (const Json& f : report["findings"]) {
        const std::string detail = f["detail"];
        EXPECT_EQ(detail.substr(detail.rfind("; ")), "; platdump mirror brings the backup in line") << f;
    }
}

TEST_F(CheckCommand, WithoutThePrimaryRoleTheMirrorIsNotCompared) {
    mirroredDump(0x1A);
    writeFile(backup("/plat_dump/stale.txt"), "left behind");
    platsim::setRole(4);
    ToolRun r = check();
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.err.find("the mirror is not compared: this service processor is not the primary (role 4)"),
              std::string::npos)
        << r.err;
}

TEST_F(CheckCommand, AFileThatCannotBeReadFailsTheCheck) {
    mirroredDump(0x1A);
    platsim::setFault("UtilFile.Open", "match=HwData.26");
    ToolRun r = platdump({"check", "--json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.json()["consistent"], false);
    EXPECT_NE(r.err.find("platdump check: /plat_dump/HwData.26 cannot be opened"), std::string::npos) << r.err;
}

}  // namespace
