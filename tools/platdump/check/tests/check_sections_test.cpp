// What `platdump check` says the finalisation of a damaged nodal section
// would do, held against what the library's completion then does to it:
// the pair changes exactly when a change is predicted, and a second check
// finds nothing left to repair (or, where none is predicted, the same).
#include <functional>

#include "checkTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

// The hardware section of mirroredDump: a TOC of 132 bytes (3 entries of
// 28), items of 13, 19 and 25 bytes and 3 pad bytes, 60 in all.
const std::string kToc = "/plat_dump/HwTOC.26";
const std::string kData = "/plat_dump/HwData.26";

struct SectionDamage {
    const char* name;
    std::function<void(CheckTest&)> apply;
    const char* predicted;  // in the detail
    size_t tocAfter, dataAfter;
    bool repaired = true;  // false: the finalisation leaves the pair as it is, and the finding stays
};
void PrintTo(const SectionDamage& d, std::ostream* out) { *out << d.name; }

class CheckSection : public CheckTest, public ::testing::WithParamInterface<SectionDamage> {
protected:
    // The section-inconsistent details of a check.
    std::vector<std::string> predictions() {
        std::vector<std::string> details;
        const Json report = check().json();
        for (const Json& f : report["findings"])
            if (f["kind"] == "section-inconsistent") details.push_back(f["detail"]);
        return details;
    }
};

TEST_P(CheckSection, PredictsWhatTheLibrarysFinalisationDoes) {
    const SectionDamage& d = GetParam();
    mirroredDump(0x1A);
    d.apply(*this);
    const std::string toc = readFile(primary(kToc)), data = readFile(primary(kData));

    std::vector<std::string> details = predictions();
    ASSERT_EQ(details.size(), 1u);
    EXPECT_NE(details[0].find(d.predicted), std::string::npos) << details[0];
    openDump(0x1A)->setDumpComplete();  // which finalises every section it names
    const std::string tocAfter = readFile(primary(kToc)), dataAfter = readFile(primary(kData));
    EXPECT_EQ(tocAfter != toc || dataAfter != data, d.repaired);
    EXPECT_EQ(tocAfter.size(), d.tocAfter);
    EXPECT_EQ(dataAfter.size(), d.dataAfter);
    EXPECT_EQ(predictions(), d.repaired ? std::vector<std::string>{} : details);
}

const SectionDamage kSectionDamages[] = {
    {"TocLongerThanItsEntries", [](CheckTest& t) { t.patchBoth(kToc, std::string::npos, "extra"); },
     "cut the TOC from 137 (0x89) to 132 (0x84) bytes (3 entries)", 132, 60},
    {"ItemsPastTheData", [](CheckTest& t) { t.resizeBoth(kData, 20); },
     "drop the last 2 of 3 entries, whose items end past the data file's 20 (0x14) bytes, cut the TOC from 132 (0x84) "
     "to 76 (0x4C) bytes (1 entries), cut the data file from 20 (0x14) to 13 (0xD) bytes, pad the data file with 7 zero "
     "bytes",
     76, 20},
    {"PaddingLost", [](CheckTest& t) { t.resizeBoth(kData, 57); }, "would pad the data file with 3 zero bytes", 132, 60},
    {"TocWithoutAWholeHeader", [](CheckTest& t) { t.resizeBoth(kToc, 20); },
     "write a fresh header with no entries over the TOC's 20 (0x14) bytes (no whole header) and cut the data "
     "file from 60 (0x3C) to 0 bytes", 48, 0},
    {"TocCutInsideAnEntry", [](CheckTest& t) { t.resizeBoth(kToc, 48 + 3 * 28 - 10); },
     "the finalisation would cut the TOC from 122 (0x7A) to 104 (0x68) bytes (2 entries), cut the data file from 60 "
     "(0x3C) to 32 (0x20) bytes, pad the data file with 8 zero bytes and rewrite the header (entryCount 3 -> 2, "
     "dataFileSize 60 (0x3C) -> 40 (0x28), totalSize 192 (0xC0) -> 144 (0x90))",
     104, 40},
    {"ReservedHeaderBytes", [](CheckTest& t) { t.patchBoth(kToc, 40, "\x01"); },
     "rewrite the header (its reserved bytes 34-47 cleared)", 132, 60},
    {"EntrySizeTooSmallForItsKind",  // 12, a service-processor section's
     [](CheckTest& t) { t.patchBoth(kToc, 33, "\x0C"); },
     "entrySize 12 (0xC) is too small for a HWDATA entry (28 (0x1C)): the finalisation leaves the pair as it is",
     132, 60, false},
};

INSTANTIATE_TEST_SUITE_P(Damages, CheckSection, ::testing::ValuesIn(kSectionDamages),
                         [](const ::testing::TestParamInfo<SectionDamage>& info) { return std::string(info.param.name); });

// A collector's item whose entry never reaches the TOC leaves its bytes in
// the data file, and the next item follows them. The finalisation judges
// lengths only and keeps the pair so; check names the bytes no entry
// describes, before completion and after it.
class FailedItem : public CheckTest {};

TEST_F(FailedItem, TheBytesOfAFailedItemAreFoundAndTheFinalisationKeepsThem) {
    std::string toc = "/plat_dump/HwTOC.27", data = "/plat_dump/HwData.27";
    auto dump = createDump(DumpSummary::SYS, 0x1B);
    {
        DumpNodalSection hw(DumpNodalSection::HWDATA, dump.get());
        ASSERT_EQ(hw.createNodalFiles(toc, data, 0), nullptr);
        for (uint32_t i = 0; i < 3; ++i) {  // items of 10, 11 and 12 bytes
            orlaDataBuffer bits(8 * (10 + i));
            DumpHwTocEntry entry{1, i, 0, 0, 0, 0, 0};
            if (i == 1) platsim::setFault("UtilFile.write", "count=1 match=HwTOC.27");
            ErrlEntry* e = hw.writeEntry(entry, bits);
            EXPECT_EQ(e != nullptr, i == 1);
            delete e;
            platsim::clearFaults();
        }
    }
    dump->SetHWDATAFileNames(0, data, toc);
    for (int completions = 0; completions < 2; ++completions) {
        ToolRun r = check();
        EXPECT_EQ(found(r), (std::vector<Found>{{"items-misplaced", "0x0000001B", toc}})) << r.out;
        EXPECT_EQ(r.json()["findings"][0]["detail"], "entry 1's item (12 (0xC) bytes at 21 (0x15)) starts 11 (0xB) "
                                                     "bytes after the previous item's end: bytes no entry describes");
        const std::string pair = readFile(primary(toc)) + readFile(primary(data));
        dump->setDumpComplete();
        EXPECT_TRUE(completions == 0 || readFile(primary(toc)) + readFile(primary(data)) == pair) << "not kept";
    }
    EXPECT_EQ(readFile(primary(data)).size(), 10u + 11 + 12 + 7);  // padded with the 104-byte TOC to 144
}

}  // namespace
