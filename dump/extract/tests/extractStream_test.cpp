// The offload stream read through ExtractDump equals, byte for byte, the
// concatenation assembled here from the files the test wrote: the summary
// file's first fileHeaderSize bytes and its summary region, the node
// groups' four files for every group whose hardware TOC is not empty, the
// system TOC and data, then (with main store) the MDRT file and the
// main-store regions. Read at random offsets and lengths, and as an
// offload in random request sizes.
#include <random>

#include "dump/extract/tests/extractTest.h"

using namespace extracttest;
using summarytest::kHwu;
using summarytest::kSys;
using summarytest::word;
using testsupport::locationWord;

namespace {

// Regions of different sizes; the last one crosses the 4 GiB boundary.
const std::vector<Region> kRegions = {
    {0x20000, 0x1800}, {0x8000, 0x333}, {0xFFFFFF80ULL, 0x200}};

class ExtractStream : public ExtractTest {
protected:
    std::string randomBytes(size_t n) {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(iv_random());
        return s;
    }
    std::string file(const std::string& spPath) { return testsupport::readFile(primary(spPath)); }

    // Dump k with node groups 0 and 3 (group 3's service-processor files
    // empty), group 5 whose hardware TOC is empty (left out of the stream),
    // and the system files; regions when withMainStore.
    void makeStreamDump(const Kind& k, bool withMainStore) {
        makeDump(k, kComplete | (withMainStore ? kMainStore : 0),
                 withMainStore ? kRegions : std::vector<Region>{}, 0, randomBytes(300),
                 randomBytes(5000));
        auto s = open(k);
        for (unsigned slot : {0u, 3u, 5u}) {
            std::string names[4];
            const char* kinds[4] = {"HwTOC", "HwData", "SpTOC", "SpData"};
            for (int f = 0; f < 4; ++f) {
                char suffix[16];
                std::snprintf(suffix, sizeof suffix, "%s%u", kinds[f], slot);
                names[f] = nodalPath(k, suffix);
                size_t size = slot == 5 && f == 0 ? 0 : slot == 3 && f >= 2 ? 0 : 100 + iv_random() % 3000;
                testsupport::writeFile(primary(names[f]), randomBytes(size));
            }
            s->SetHWDATAFileNames(slot, names[1], names[0]);
            s->SetSPDATAFileNames(slot, names[3], names[2]);
        }
        s->setHardwareNodeCount(2);
    }  // the summary's flush records the files' sizes

    // The stream as the files say it is.
    std::string expectedStream(const Kind& k, bool withMainStore) {
        std::vector<uint8_t> summary = primaryBytes(k);
        std::string s(summary.begin(), summary.begin() + k.fileHeaderSize);
        s.append(summary.begin() + 208, summary.begin() + 1232);
        for (unsigned slot : {0u, 3u})
            for (const char* kind : {"HwTOC", "HwData", "SpTOC", "SpData"})
                s += file(nodalPath(k, (kind + std::to_string(slot)).c_str()));
        s += file(nodalPath(k, "SysTOC")) + file(nodalPath(k, "SysData"));
        if (!withMainStore) return s;
        s += file(nodalPath(k, "MDRT"));
        for (const Region& r : kRegions) s += mainStore(r.address, r.length);
        return s;
    }

    std::mt19937 iv_random{20261205};
};

TEST_F(ExtractStream, EveryKindReadsAsTheConcatenationOfItsParts) {
    struct Row {
        Kind kind;
        bool mainStore;
        uint32_t state;
    };
    uint32_t n = 0;
    for (const Row& r : {Row{kSys, false, 11}, Row{kSys, true, 11}, Row{kHwu, false, 11},
                         Row{kHwu, true, 9}, Row{kSys, true, 9}}) {
        Kind k = withId(r.kind, r.kind.id + 0x10 * ++n);
        SCOPED_TRACE(std::string(k.fileName) + (r.mainStore ? " with main store" : "") +
                     " state " + std::to_string(r.state));
        makeStreamDump(k, r.mainStore);
        setSystem(r.state, 2);
        const std::string expected = expectedStream(k, r.mainStore);
        const uint64_t size = expected.size();

        // An offload in random request sizes, to the short last request.
        std::string offloaded;
        for (;;) {
            Extracted x = extract(k.id, offloaded.size(), 1 + iv_random() % 6000);
            offloaded += x.bytes;
            if (x.failed) {
                EXPECT_EQ(locationWord(x.entry), word(0x0221, 0xF00F, 5));
                break;
            }
        }
        ASSERT_EQ(offloaded.size(), size);
        EXPECT_TRUE(offloaded == expected);

        for (int i = 0; i < 150; ++i) {
            uint64_t offset = iv_random() % (size + 64);
            uint32_t length = iv_random() % (i % 10 ? 4000 : 40000);
            SCOPED_TRACE("offset " + std::to_string(offset) + " length " + std::to_string(length));
            Extracted x = extract(k.id, offset, length, r.mainStore);
            uint64_t inStream = offset < size ? std::min<uint64_t>(length, size - offset) : 0;
            ASSERT_EQ(x.failed, inStream < length);
            ASSERT_EQ(x.length, inStream);
            ASSERT_TRUE(x.bytes == expected.substr(std::min(offset, size), inStream));
        }
        EXPECT_EQ(fieldOf(k, kTceErrorsAt) + fieldOf(k, kDmaErrorsAt), 0u);
    }
}

}  // namespace
