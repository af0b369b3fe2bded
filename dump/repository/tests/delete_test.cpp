// Deleting dumps (here and on the backup), the exclusion of extraction
// across processes, and the orphan sweep on a repository of many dumps
// with foreign entries, damaged summaries and half-deleted leftovers.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>

#include "dump/repository/tests/repositoryTest.h"

using namespace repotest;
using testsupport::locationWord;

namespace {

class Deletion : public RepositoryTest {
protected:
    static Names without(Names names, const Names& gone) {
        for (const std::string& g : gone) names.erase(std::remove(names.begin(), names.end(), g), names.end());
        return names;
    }
    std::string summaryOf(unsigned id) const { return primary(inRepo("SYSDUMP." + hex8(id) + ".summary")); }
};

TEST_F(Deletion, RemovesExactlyTheDumpsFilesOnBothSides) {
    dump(DumpSummary::SYS, 0x1A, 0, 2);
    dump(DumpSummary::SYS, 0x1B, 0, 1);
    dump(DumpSummary::HWU, 0x0100001C);
    const Names here = entries(), there = entries(true);
    const Names gone = {"0000001A.HwData0", "0000001A.HwData1", "0000001A.HwToc0", "0000001A.HwToc1",
                        "SYSDUMP.0000001A.summary", "dumpstatus.0000001A"};
    std::unique_ptr<DumpSummary> a = open(0x1A, DumpSummary::SYS);
    EXPECT_TRUE(DeleteDump(a.get()));
    EXPECT_EQ(entries(), without(here, gone));
    EXPECT_EQ(entries(true), without(there, gone));
    foreign("notes.txt");
    a.reset();  // the summary is gone: the destructor sweeps again
    EXPECT_EQ(entries(), without(here, gone));

    // A dump naming no file goes all the same but is reported false; files
    // already gone do not matter.
    EXPECT_FALSE(DeleteDump(open(0x0100001C, DumpSummary::HWU).get()));
    unlink(primary(inRepo("0000001B.HwData0")).c_str());
    EXPECT_TRUE(DeleteDump_nolock(open(0x1B, DumpSummary::SYS).get()));
    EXPECT_FALSE(DeleteDump(nullptr));
    EXPECT_EQ(entries(), Names{});
    EXPECT_EQ(entries(true), Names{});
    EXPECT_TRUE(errlog().empty());
}

// The answer comes of the one names list the summary gives: an empty list,
// whether the dump names no file or its names could not be read, makes it
// false and the deletion goes on; nothing more is read or opened to find
// names (the sweep takes named files no summary claims any more).
TEST_F(Deletion, AnEmptyNamesListMakesTheAnswerFalse) {
    const struct {
        unsigned files;
        bool faultBeforeOpen;  // else set between the open and the deletion
        const char *fault, *params;
    } rows[] = {
        {2, true, "UtilFile.read", "after=1 count=2 match=.summary"},  // the open's names read and the re-read
        {0, false, "UtilFile.Open", "match=.summary"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fault);
        dump(DumpSummary::SYS, 0x1A, 0, r.files);
        if (r.faultBeforeOpen) platsim::setFault(r.fault, r.params);
        std::unique_ptr<DumpSummary> s = open(0x1A, DumpSummary::SYS);
        if (!r.faultBeforeOpen) platsim::setFault(r.fault, r.params);
        EXPECT_FALSE(DeleteDump(s.get()));
        platsim::clearFaults();
        EXPECT_EQ(entries(), Names{});
        EXPECT_TRUE(errlog().empty());
    }
}

TEST_F(Deletion, ASemaphoreFailureIsCommittedAsInformational) {
    const struct {
        const char* fault;
        uint8_t location;
        bool deleted;
    } cases[] = {{"UtilSemaphore.init", 32, false}, {"UtilSemaphore.Down", 33, false}, {"UtilSemaphore.Up", 18, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        std::remove(platsim::errlogPath().c_str());
        dump(DumpSummary::SYS, 0x1A, 0, 1);
        std::unique_ptr<DumpSummary> s = open(0x1A, DumpSummary::SYS);
        platsim::setFault(c.fault, "count=1 match=dump.3");
        EXPECT_EQ(DeleteDump(s.get()), c.deleted);
        EXPECT_EQ(testsupport::fileExists(summaryOf(0x1A)), !c.deleted);
        std::vector<Json> log = errlog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0]["severity"], 0);
        EXPECT_EQ(lastCallPoint(log[0]), Json::array({0x0300, 0x0D, c.location, 0}));
        platsim::clearFaults();
        if (!c.deleted) {
            EXPECT_TRUE(DeleteDump(s.get()));
        }
    }
}

TEST_F(Deletion, WaitsWhileAnotherProcessHoldsTheExtractionSemaphore) {
    dump(DumpSummary::SYS, 0x1A, 0, 1);
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    pid_t extraction = testsupport::forkChild([&] {
        UtilSemaphore s;
        if (s.init("dump", 3, 1) || s.Down(1) || ::write(held[1], "H", 1) != 1) return 1;
        pause();
        return 0;
    });
    char c;
    ASSERT_EQ(::read(held[0], &c, 1), 1);
    pid_t deleter = testsupport::forkChild([] {
        alarm(10);
        ErrlEntry* errl = nullptr;
        DumpSummary s(0x1A, errl, DumpSummary::SYS);
        return !errl && DeleteDump(&s) ? 0 : 1;
    });
    usleep(200 * 1000);
    EXPECT_TRUE(testsupport::fileExists(summaryOf(0x1A))) << "deletion must wait for the extraction";
    kill(extraction, SIGKILL);
    EXPECT_EQ(testsupport::waitChild(extraction), -SIGKILL);
    EXPECT_EQ(testsupport::waitChild(deleter), 0);
    EXPECT_EQ(entries(), Names{});
    close(held[0]);
    close(held[1]);
}

// A deletion meeting an offload in another process: every extraction call
// gets the whole stream or finds the dump gone before it starts, never a
// stream cut short by files vanishing under it.
TEST_F(Deletion, AndExtractionInOtherProcessesExcludeEachOther) {
    const unsigned id = 0x0100001A;
    platsim::setRegistry("iplp/SysOpMode", std::string(1, '\2'));
    platsim::setRegistry("smgr/StateData", std::string(56, '\0'));
    dump(DumpSummary::HWU, id, kComplete, 10);
    std::unique_ptr<DumpSummary> s = open(id, DumpSummary::HWU);
    auto file = [&](const std::string& name, size_t size) {
        testsupport::writeFile(primary(inRepo(hex8(id) + name)), std::string(size, 'a'));
        return inRepo(hex8(id) + name);
    };
    for (unsigned i = 0; i < 10; ++i) {
        file(".HwData" + std::to_string(i), 512 << 10);
        std::string data = file(".SpData" + std::to_string(i), 8), toc = file(".SpToc" + std::to_string(i), 8);
        s->SetSPDATAFileNames(i, data, toc);
    }
    std::string sysData = file(".SysData", 8), sysToc = file(".SysTOC", 8);
    s->SetSYSDATAFileNames(sysData, sysToc);
    s.reset();  // its flush records the sizes
    // The stream from offset 1 (offset 0 would note an offload start each
    // time); asked for too much, the call says how much there is.
    std::string stream(8 << 20, '\0');
    unsigned length = stream.size();
    dumpDMAEhandle handle = {};
    delete DumpExtractData().ExtractDump(id, 1, length, &stream[0], false, &handle);
    stream.resize(length);
    ASSERT_GT(length, 5u << 20);

    pid_t extractor = testsupport::forkChild([&] {
        alarm(30);
        DumpExtractData x;
        for (std::string got = stream;; usleep(1000)) {
            unsigned n = got.size();
            Json e = taken(x.ExtractDump(id, 1, n, &got[0], false, &handle));
            if (!e.is_null()) return e["rc"] == 0x1B && n == 0 ? 0 : 1;
            if (n != stream.size() || got != stream) return 2;
        }
    });
    pid_t deleter = testsupport::forkChild([&] {
        alarm(30);
        ErrlEntry* errl = nullptr;
        DumpSummary summary(id, errl, DumpSummary::HWU);
        // Delete while an extraction call holds its semaphore.
        int fd = ::open((root() + "/sim/sem/dump.3").c_str(), O_RDWR | O_CREAT, 0644);
        while (flock(fd, LOCK_EX | LOCK_NB) == 0) flock(fd, LOCK_UN);
        close(fd);
        return !errl && DeleteDump(&summary) ? 0 : 1;
    });
    EXPECT_EQ(testsupport::waitChild(deleter), 0);
    EXPECT_EQ(testsupport::waitChild(extractor), 0);
    EXPECT_EQ(entries(), Names{});
}

TEST_F(Deletion, TheSweepRemovesExactlyWhatNoReadableSummaryClaims) {
    const Type kinds[] = {DumpSummary::SYS, DumpSummary::HWU, DumpSummary::RSC};
    for (unsigned i = 0; i < 24; ++i)
        dump(kinds[i % 3], (i % 3 == 1 ? 0x01000000 : 0) + 0x20 + i, i % 2 ? kComplete : 0, i % 4);
    // A dump whose summary is damaged and one deleted half-way claim nothing.
    const size_t claims = claimed.size();
    dump(DumpSummary::SYS, 0x1D, 0, 2);
    dump(DumpSummary::SYS, 0x1E, 0, 1);
    claimed.resize(claims);
    testsupport::writeFile(summaryOf(0x1D), std::string(300, 'Z'));
    unlink(summaryOf(0x1E).c_str());
    // A name recorded without the directory, an MDST file (claimed), and
    // entries close to claimed names.
    std::string relative = "00000020.SpData0", mdst = inRepo("00000020.MDST"), none;
    open(0x20, DumpSummary::SYS)->SetSPDATAFileNames(0, relative, none);
    open(0x20, DumpSummary::SYS)->setMDSTFileName(mdst, 4);
    claimed.push_back(mdst);
    for (const char* n : {"00000020.SpData0", "00000020.MDST", "notes.txt", "flatsrc.0000001a.tmp",
                          "SYSDUMP.00000020.summary.bak", "00000021.HwData0x", "dumpstatus.0000001a"})
        foreign(n);
    ASSERT_EQ(mkdir(primary(inRepo("olddir")).c_str(), 0755), 0);

    // The exhaustive comparison; the directory stays as its removal fails.
    Names expected = {"olddir"};
    for (const std::string& n : entries())
        if (std::find(claimed.begin(), claimed.end(), inRepo(n)) != claimed.end()) expected.push_back(n);
    std::sort(expected.begin(), expected.end());
    const Names there = without(entries(true), {"SYSDUMP.0000001D.summary"});

    DumpCollections::removeOrphanedFiles();
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(entries(true), there) << "only the damaged summary goes on the backup";
    // One notice per failed removal, in listing order: the damaged summary,
    // which its own open removed before its turn came, and the directory.
    std::vector<Json> log = errlog();
    ASSERT_EQ(log.size(), 2u);
    for (const Json& notice : log) {
        EXPECT_EQ(notice["rc"], 1);
        EXPECT_EQ(notice["srcs"][0]["words"], Json::array({word(0x0C1C, 15), 0, 0, 0}));
        EXPECT_EQ(notice["severity"], 0);
    }
}

TEST_F(Deletion, TheSweepRemovesNothingWhenAListingFails) {
    dump(DumpSummary::SYS, 0x1A);
    foreign("notes.txt");
    const uint8_t locations[] = {5, 16, 17, 18};  // directory, then the ids of each kind
    for (unsigned i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        std::remove(platsim::errlogPath().c_str());
        platsim::setFault("scandir", "count=1 after=" + std::to_string(i));
        DumpCollections::removeOrphanedFiles();
        platsim::clearFaults();
        EXPECT_TRUE(testsupport::fileExists(primary(inRepo("notes.txt"))));
        std::vector<Json> log = errlog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(locationWord(log[0]), word(0x021C, 20));
        EXPECT_EQ(lastCallPoint(log[0]), Json::array({0x0C00, 0x1C, locations[i], 0}));
    }
}

}  // namespace
