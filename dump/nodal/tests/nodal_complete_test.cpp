// Completing a dump: each named section is finalised once, with its kind
// and slot index (a damaged pair repaired, a TOC without a header given a
// fresh one); a section that cannot be opened, or a summary re-read that
// fails, is traced and does not stop the completion; the complete flag is
// set and nothing else, then the dump flushes.
#include <unistd.h>

#include <set>

#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class NodalComplete : public DumpTest {};

TEST_F(NodalComplete, EveryNamedSectionIsFinalisedAndTheDumpCompletes) {
    // repaired: the damaged service-processor pair.
    const struct { Kind kind; const char *fault, *params; bool repaired; } rows[] = {
        {kSys, "", "", true},
        {kHwu, "UtilFile.Open", "match=sp5.toc count=1", false},
        {kRsc, "UtilFile.read", "match=RESDUMP count=1", true},  // the summary's re-read
    };
    std::set<std::string> expectedFiles;
    for (size_t row = 0; row < std::size(rows); ++row) {
        const auto& r = rows[row];
        const Kind& k = r.kind;
        SCOPED_TRACE(summaryPath(k));
        std::string prefix = "/plat_dump/" + std::to_string(row), hwToc = prefix + "hw3.toc",
                    hwData = prefix + "hw3.data", sysToc = prefix + "sys.toc", sysData = prefix + "sys.data";
        std::string toc = prefix + "sp5.toc", data = prefix + "sp5.data";
        auto pair = [&] { return readPair(toc, data); };
        create(k);
        std::unique_ptr<DumpSummary> dump = open(k);
        dump->setDumpFlags(0x4201);
        dump->SetHWDATAFileNames(3, hwData, hwToc);
        dump->SetSPDATAFileNames(5, data, toc);
        dump->SetSYSDATAFileNames(sysData, sysToc);
        {  // a service-processor pair whose second item lost its end: dropped
            DumpNodalSection s(DumpNodalSection::SPDATA, dump.get());
            ASSERT_EQ(s.createNodalFiles(toc, data, 5), nullptr);
            ASSERT_EQ(putItem(s, 41), nullptr);
            ASSERT_EQ(putItem(s, 42), nullptr);
        }
        ASSERT_EQ(::truncate(primary(data).c_str(), pair().word(1, 4) + 1), 0);
        size_t damaged = pair().data.size();
        writeFile(primary(hwToc), std::string(47, 'x'));  // no header yet: a fresh one
        rmgrCalls();
        if (*r.fault) platsim::setFault(r.fault, r.params);

        dump->setDumpComplete();
        platsim::clearFaults();
        EXPECT_EQ(dump->getDumpFlags(), 0xC201);
        EXPECT_EQ(readBytes(primary(hwToc)), nodalHeader("HWDATA", 0, 48, 3, 0, 0, 28).bytes());
        EXPECT_EQ(readBytes(primary(sysToc)), nodalHeader("SYSDATA", 1, 48, 10, 0, 0, 12).bytes());
        if (r.repaired)
            EXPECT_EQ(checkConsistent(pair()), std::vector<uint32_t>{41});
        else
            EXPECT_EQ(pair().data.size(), damaged);
        uint64_t nodal = 0;
        for (const std::string& f : {hwToc, hwData, toc, data, sysToc, sysData}) {
            nodal += readFile(primary(f)).size();
            expectedFiles.insert(f.substr(f.rfind('/') + 1));
        }
        EXPECT_EQ(dump->getHWDumpTotalSize(), 1024 + nodal);
        if (row == 0) {
            // The flag is written first, then the flush writes the sizes.
            const std::string sync = "rmgrSyncFileChunk 0xF000 " + summaryPath(k);
            std::vector<std::string> summaryWrites;
            for (const std::string& call : rmgrCalls())
                if (call.compare(0, sync.size(), sync) == 0) summaryWrites.push_back(call.substr(sync.size()));
            EXPECT_EQ(summaryWrites, (std::vector<std::string>{" 208 1024", " 0 208", " 208 1024", " 1232 3140"}));
        }
        expectedFiles.insert(summaryPath(k).substr(11));
    }
    EXPECT_EQ(listing(), std::vector<std::string>(expectedFiles.begin(), expectedFiles.end()));
}

}  // namespace
