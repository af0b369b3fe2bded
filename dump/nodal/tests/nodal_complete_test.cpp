// Completing a dump: each named section is finalised once, with its kind
// and slot index (a damaged pair repaired, a TOC without a header given a
// fresh one); a section that cannot be opened leaves the dump incomplete,
// with a log, until a later completion; the complete flag is set and
// nothing else; the dump flushes.
#include <unistd.h>

#include <filesystem>
#include <set>

#include "dump/nodal/tests/nodalTest.h"

using namespace nodaltest;

namespace {

class NodalComplete : public NodalTest {};

TEST_F(NodalComplete, EveryNamedSectionIsFinalisedAndTheDumpCompletes) {
    const summarytest::Kind* kinds[] = {&summarytest::kSys, &summarytest::kHwu};
    for (bool failing : {false, true}) {
        const summarytest::Kind& k = *kinds[failing];
        std::string prefix = "/plat_dump/" + std::to_string(failing), hwToc = prefix + "hw3.toc",
                    hwData = prefix + "hw3.data", sysToc = prefix + "sys.toc", sysData = prefix + "sys.data";
        toc = prefix + "sp5.toc";
        data = prefix + "sp5.data";
        create(k);
        ErrlEntry* errl = nullptr;
        DumpSummary dump(k.id, errl);
        ASSERT_EQ(errl, nullptr);
        dump.setDumpFlags(0x4201);
        dump.SetHWDATAFileNames(3, hwData, hwToc);
        dump.SetSPDATAFileNames(5, data, toc);
        dump.SetSYSDATAFileNames(sysData, sysToc);
        {  // a service-processor pair whose second item lost its end: dropped
            DumpNodalSection s(DumpNodalSection::SPDATA, &dump);
            open(s, 5);
            ASSERT_EQ(put(s, 41), nullptr);
            ASSERT_EQ(put(s, 42), nullptr);
        }
        ASSERT_EQ(::truncate(primary(data).c_str(), pair().word(1, 4) + 1), 0);
        size_t damaged = pair().data.size();
        testsupport::writeFile(primary(hwToc), std::string(47, 'x'));  // no header yet: a fresh one
        if (failing) platsim::setFault("UtilFile.Open", "match=sp5.toc count=1");

        dump.setDumpComplete();
        platsim::clearFaults();
        EXPECT_EQ(testsupport::readBytes(primary(hwToc)), header("HWDATA", 0, 48, 3, 0, 0, 28).bytes());
        EXPECT_EQ(testsupport::readBytes(primary(sysToc)), header("SYSDATA", 1, 48, 10, 0, 0, 12).bytes());
        if (failing) {
            // The damaged pair was not finalised: the dump is not complete,
            // and says so; the next completion finalises it.
            EXPECT_EQ(dump.getDumpFlags(), 0x4201);
            EXPECT_EQ(pair().data.size(), damaged);
            const std::vector<Json> logs = errlog();
            ASSERT_EQ(logs.size(), 1u);
            const Json& cp = logs[0]["callPoints"].back();
            EXPECT_EQ(cp["function"].get<unsigned>() | cp["file"].get<unsigned>(), 0x1013u);
            EXPECT_EQ(cp["location"], 1);
            EXPECT_EQ(cp["word"], 5);
            EXPECT_EQ(testsupport::userDataBytes(logs[0], logs[0]["userData"].size() - 1),
                      testsupport::keyValue("Nodal section not finalised", toc));
            dump.setDumpComplete();
        }
        EXPECT_EQ(dump.getDumpFlags(), 0xC201);
        EXPECT_EQ(checkConsistent(pair()), std::vector<uint32_t>{41});
        uint64_t nodal = 0;
        for (const std::string& f : {hwToc, hwData, toc, data, sysToc, sysData}) nodal += testsupport::readFile(primary(f)).size();
        EXPECT_EQ(dump.getHWDumpTotalSize(), 1024 + nodal);
        EXPECT_EQ(errlog().size(), failing ? 1u : 0u);
    }
    std::set<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(primary("/plat_dump"))) files.insert(e.path().filename());
    EXPECT_EQ(files, (std::set<std::string>{summarytest::kSys.fileName, summarytest::kHwu.fileName,
                                            "0hw3.toc", "0hw3.data", "0sp5.toc", "0sp5.data", "0sys.toc", "0sys.data",
                                            "1hw3.toc", "1hw3.data", "1sp5.toc", "1sp5.data", "1sys.toc", "1sys.data"}));
}

TEST_F(NodalComplete, SizesThatDoNotReachTheFileLeaveTheDumpIncomplete) {
    create(summarytest::kSys);
    ErrlEntry* errl = nullptr;
    DumpSummary dump(summarytest::kSys.id, errl);
    ASSERT_EQ(errl, nullptr);
    dump.SetSPDATAFileNames(5, data, toc);
    {
        DumpNodalSection s(DumpNodalSection::SPDATA, &dump);
        open(s, 5);
        ASSERT_EQ(put(s, 41), nullptr);
    }
    // The section's size changes the summary, whose write is cut short
    // without an error.
    platsim::setFault("UtilFile.write", "bytes=10 match=SYSDUMP");
    dump.setDumpComplete();
    platsim::clearFaults();
    EXPECT_EQ(dump.getDumpFlags(), 0);
    const std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0]["rc"], 1);
    EXPECT_EQ(logs[0]["srcs"][0]["words"], Json::array({0x10130B02u, 0, 0, summarytest::kSys.id}));
}

}  // namespace
