// The failover drill: a dump is collected on the primary in each of the
// ways that leave the backup's copies behind, `platdump mirror` is run, and
// the backup's repository becomes the primary's, as a takeover makes it
// (the two trees' /plat_dump swapped; registry and main store are the
// machine's). The new primary must list, describe and offload the dump
// byte for byte as the old one did, the offload must decode, and `check`
// must be clean on both sides. Before the mirror, `check` must report each
// way as mirror findings: the drill without the mirror.
#include <signal.h>

#include <filesystem>
#include <map>

#include "tools/platdump/tests/toolTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

constexpr unsigned int kDump = 0x1A;   // collected in every scenario, offloaded on both sides
constexpr unsigned int kOther = 0x1B;  // the dump a scenario damages or deletes
const std::string kRepository = "/plat_dump";

using Kinds = std::map<std::string, int>;  // finding kind -> count

class Drill;

struct Scenario {
    const char* name;
    std::function<void(Drill&)> collect;
    Kinds before;   // what `check` finds before the mirror
    Kinds actions;  // what `mirror` does about it
};
void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

class Drill : public ToolTest, public ::testing::WithParamInterface<Scenario> {
public:  // the scenarios reach these
    // Node 1: its hardware section written by a process that is killed
    // (SIGKILL) between an item's data and its TOC entry, so that the data
    // file holds 712 bytes no entry counts, here and on the backup; then
    // its service-processor section, and both named for the completion to
    // repair.
    void nodeOfAKilledWriter(DumpSummary& dump) {
        std::string toc = kRepository + "/HwTOC.26.1", data = kRepository + "/HwData.26.1";
        std::string spToc = kRepository + "/SpTOC.26.1", spData = kRepository + "/SpData.26.1";
        EXPECT_EQ(waitChild(forkChild([&] {
                      auto* section = new DumpNodalSection(DumpNodalSection::HWDATA, &dump);  // dies unfinalised
                      if (section->createNodalFiles(toc, data, 1)) return 1;
                      orlaDataBuffer bits(800);
                      DumpHwTocEntry entry{0x10001, 0, 0, 0, 0, 0, 0};
                      if (section->writeEntry(entry, bits)) return 2;
                      DumpUtilFile file(data.c_str());  // the next item's data, appended as writeEntry does
                      if (file.open("r+")) return 3;
                      file.seek(0, UtilStream::END);
                      const std::string item(712, '\xC3');
                      file.write(item.data(), static_cast<uint32_t>(item.size()));
                      ::raise(SIGKILL);
                      return 4;
                  })),
                  -SIGKILL);
        {
            DumpNodalSection sp(DumpNodalSection::SPDATA, &dump);
            EXPECT_EQ(sp.createNodalFiles(spToc, spData, 1), nullptr);
            EXPECT_EQ(signature(putItem(sp, 0xF2000100)), "");
        }
        dump.SetHWDATAFileNames(1, data, toc);
        dump.SetSPDATAFileNames(1, spData, spToc);
        dump.setHardwareNodeCount(2);
    }

    // The orphan sweep of another process, as any deletion runs it.
    void sweepElsewhere() {
        const pid_t sweeper = forkChild([] {
            DumpCollections::removeOrphanedFiles();
            return 0;
        });
        EXPECT_EQ(waitChild(sweeper), 0);
    }

protected:
    // The kinds of a --json report's list, counted.
    static Kinds counted(const ToolRun& r, const char* list, const char* kind) {
        Kinds kinds;
        const Json report = r.json();
        for (const Json& f : report[list]) ++kinds[f[kind].get<std::string>()];
        return kinds;
    }

    // What the tool shows of the repository: the listing, the dump's record
    // and its offload without and with main store, each offload decoding.
    Files readout(const std::string& side) {
        const std::string dir = root() + "/offload-" + side;
        std::filesystem::create_directories(dir);
        for (const std::vector<std::string>& offload : {std::vector<std::string>{"offload", "1A", "-o", dir + "/plain"},
                                                        {"offload", "1A", "-o", dir + "/mainstore", "--main-store"}}) {
            ToolRun o = platdump(offload);
            EXPECT_EQ(o.code, 0) << side << ": " << o.err;
            ToolRun parsed = platdump({"parse", offload[3]});
            EXPECT_EQ(parsed.code, 0) << side << ": " << parsed.out;
        }
        Files shown = files(dir);
        shown["list"] = platdump({"list", "--json", "--counts", "--current"}).out;
        shown["show"] = platdump({"show", "1A", "--json"}).out;
        return shown;
    }

    // The backup takes over: its repository becomes this processor's, and
    // the old primary's becomes the new backup's.
    void takeOver() {
        const std::string here = primary(kRepository), there = backup(kRepository), aside = root() + "/aside";
        std::filesystem::rename(here, aside);
        std::filesystem::rename(there, here);
        std::filesystem::rename(aside, there);
    }
};

TEST_P(Drill, AfterMirrorTheTakeoverOffloadsWhatThePrimaryWould) {
    GetParam().collect(*this);
    ToolRun before = platdump({"check", "--json"});
    EXPECT_EQ(counted(before, "findings", "kind"), GetParam().before) << before.out;

    const auto here = files(primary(kRepository));
    ToolRun mirrored = platdump({"mirror", "--json"});
    ASSERT_EQ(mirrored.code, 0) << mirrored.out << mirrored.err;
    EXPECT_EQ(counted(mirrored, "actions", "action"), GetParam().actions) << mirrored.out;
    EXPECT_TRUE(files(primary(kRepository)) == here) << "the mirror changed this processor's files";
    EXPECT_TRUE(files(backup(kRepository)) == here) << "the backup's copies are not this processor's files";

    const Files old = readout("primary");
    ToolRun checkedHere = platdump({"check"});
    EXPECT_EQ(checkedHere.code, 0) << checkedHere.out << checkedHere.err;
    takeOver();
    EXPECT_TRUE(readout("takeover") == old) << "the listing, the record or an offload differs";
    ToolRun checkedThere = platdump({"check"});
    EXPECT_EQ(checkedThere.code, 0) << checkedThere.out << checkedThere.err;
}

const Scenario kScenarios[] = {
    {"PlainCollection", [](Drill& t) { t.completeDump(kDump, true); }, {}, {}},
    {"CrashRepairAtCompletion",
     [](Drill& t) {
         t.completeDump(kDump, true, [&](Drill::CollectionStep step, DumpSummary& d) {
             if (step == Drill::CollectionStep::BeforeCompletion) t.nodeOfAKilledWriter(d);
         });
     },
     {{"mirror-differs", 1}}, {{"replace", 1}}},
    {"SweepDuringCollection",
     [](Drill& t) {
         t.completeDump(kDump, true, [&](Drill::CollectionStep step, DumpSummary&) {
             if (step == Drill::CollectionStep::SectionsWritten) t.sweepElsewhere();
         });
     },
     {{"mirror-differs", 4}}, {{"replace", 4}}},
    {"DamagedSummaryRemovedByAListing",
     [](Drill& t) {
         t.completeDump(kDump, true);
         t.completeDump(kOther, true);
         // its eye-catcher damaged here only
         t.patchFile(t.primary(summaryPath({DumpSummary::SYS, kOther})), 208, "XXX DUMP");
         std::vector<_dumpstate> states;
         delete DumpCollections::dumpSummarizeDumps(states);
     },
     {{"backup-only", 7}}, {{"delete", 7}}},
    {"ReplacedEmptyBackup",
     [](Drill& t) {
         t.completeDump(kDump, true);
         std::filesystem::remove_all(t.backup(kRepository));
         std::filesystem::create_directories(t.backup(kRepository));
         t.openDump(kDump);  // its open asks the backup to create the summary
     },
     {{"mirror-differs", 1}, {"mirror-missing", 7}}, {{"copy", 1}, {"create", 7}}},
    {"UnclaimedFilesAndAFailedBackupDelete",
     [](Drill& t) {
         t.completeDump(kOther, true);
         DumpUtilFile work("/plat_dump/0000001B.work");  // a collector's file that no summary names
         EXPECT_EQ(work.open("w+"), nullptr);
         work.write("scratch", 7);
         work.Close();
         platsim::setFault("rmgrDeleteFile", "count=1 match=HwData.27");
         EXPECT_TRUE(DeleteDump(t.openDump(kOther).get()));
         platsim::clearFaults();
         t.completeDump(kDump, true);
     },
     {{"backup-only", 2}}, {{"delete", 2}}},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, Drill, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
