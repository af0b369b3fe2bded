// The offload stream of each kind of dump: the file header, the summary,
// each node group's hardware and service-processor files (a group whose
// hardware TOC is empty left out), the system files, then (with main
// store) the MDRT file and the main-store regions. Read at random offsets
// and lengths, and as an offload in random request sizes.
#include <random>

#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

// Regions of different sizes; the last one crosses the 4 GiB boundary.
const std::vector<Region> kRegions = {{0x20000, 0x1800}, {0x8000, 0x333}, {0xFFFFFF80ULL, 0x200}};
const char* const kNodalKinds[4] = {"HwTOC", "HwData", "SpTOC", "SpData"};

class ExtractStream : public DumpTest {
protected:
    std::string randomBytes(size_t n) {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(iv_random());
        return s;
    }
    std::string file(const Kind& k, const std::string& suffix) { return readFile(primary(dumpFile(k, suffix))); }

    // Dump k with node groups 0 and 3 (group 3's service-processor files
    // empty), group 5 whose hardware TOC is empty, the system files, and
    // the regions when withMainStore; the stream as its files say it is.
    std::string makeStreamDump(const Kind& k, bool withMainStore) {
        Parts parts = Parts().sys(randomBytes(300), randomBytes(5000));
        makeDump(k, 0x8000 | (withMainStore ? 0x2000 : 0), withMainStore ? parts.mainStore(kRegions) : parts);
        {
            auto s = open(k);
            for (unsigned slot : {0u, 3u, 5u}) {
                std::string names[4];
                for (int f = 0; f < 4; ++f) {
                    names[f] = dumpFile(k, kNodalKinds[f] + std::to_string(slot));
                    size_t size = slot == 5 && f == 0 ? 0 : slot == 3 && f >= 2 ? 0 : 100 + iv_random() % 3000;
                    writeFile(primary(names[f]), randomBytes(size));
                }
                s->SetHWDATAFileNames(slot, names[1], names[0]);
                s->SetSPDATAFileNames(slot, names[3], names[2]);
            }
            s->setHardwareNodeCount(2);
            if (withMainStore) {  // a recorded size of 100: three whole entries and 4 bytes, which are no region
                std::string mdrt = dumpFile(k, "MDRT");
                writeFile(primary(mdrt), mdrtOf(kRegions, 4));
                s->setMDRTFileName(mdrt, 100);
            }
        }  // the summary's flush records the files' sizes
        std::vector<uint8_t> summary = bytesOf(k);
        std::string stream(summary.begin(), summary.begin() + fileHeaderSize(k));
        stream.append(summary.begin() + 208, summary.begin() + 1232);
        for (unsigned slot : {0u, 3u})
            for (const char* kind : kNodalKinds) stream += file(k, kind + std::to_string(slot));
        stream += file(k, "SysTOC") + file(k, "SysData");
        if (!withMainStore) return stream;
        stream += file(k, "MDRT");
        for (const Region& r : kRegions) stream += mainStore(r.address, r.length);
        return stream;
    }

    std::mt19937 iv_random{20261205};
};

TEST_F(ExtractStream, EveryKindReadsAsTheConcatenationOfItsParts) {
    struct Row { Kind kind; bool mainStore; uint32_t state; };
    uint32_t n = 0;
    for (const Row& r : {Row{kSys, false, 11}, Row{kSys, true, 11}, Row{kHwu, false, 11}, Row{kHwu, true, 9},
                         Row{kSys, true, 9}}) {
        const Kind k{r.kind.type, r.kind.id + 0x10 * ++n};
        SCOPED_TRACE(summaryPath(k) + (r.mainStore ? " with main store" : "") + " state " + std::to_string(r.state));
        const std::string expected = makeStreamDump(k, r.mainStore);
        setSystem(r.state, 2);
        const uint64_t size = expected.size();

        // An offload in random request sizes, to the short last request.
        std::string offloaded;
        for (Extracted x; x.log.empty();) {
            x = extract(k.id, offloaded.size(), 1 + iv_random() % 6000);
            offloaded += x.bytes;
        }
        ASSERT_EQ(offloaded.size(), size);
        EXPECT_EQ(newLogs(), std::vector<std::string>{"02211F04 " + hex(k.id) + " 0 0 rc=0 sev=0"}) << "its start";
        EXPECT_TRUE(offloaded == expected);

        for (int i = 0; i < 100; ++i) {
            uint64_t offset = iv_random() % (size + 64);
            uint32_t length = iv_random() % (i % 10 ? 4000 : 40000);
            SCOPED_TRACE("offset " + std::to_string(offset) + " length " + std::to_string(length));
            Extracted x = extract(k.id, offset, length, r.mainStore);
            uint64_t inStream = offset < size ? std::min<uint64_t>(length, size - offset) : 0;
            ASSERT_EQ(x.log.empty(), inStream == length);
            ASSERT_EQ(x.length, inStream);
            ASSERT_TRUE(x.bytes == expected.substr(std::min(offset, size), inStream));
        }
        EXPECT_EQ(fieldOf(k, 4352) + fieldOf(k, 4356), 0u) << "no failed main-store read";
    }
}

}  // namespace
