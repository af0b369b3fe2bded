// Main-store blocks against the simulated main store, DMA engine and host
// mailbox: the reads, the handle's setup, the mailbox retries and the
// failures with their location words, sections and release requests.
#include <cstdio>
#include <string>
#include <vector>

#include "dump/summary/tests/summaryTest.h"
#include "platdump/dumpDataBlock.h"

using namespace testsupport;

namespace {

constexpr uint64_t kRegion = 0x2000;  // where the test pattern lies
constexpr uint32_t kRegionSize = 0x400;

// The mailbox log's lines: "<code> <address> <length> -> <outcome>".
std::vector<std::string> codes() {
    std::vector<std::string> out;
    for (const std::string& line : platsim::mailboxRequests()) out.push_back(line.substr(0, 2));
    return out;
}

uint32_t hexAt(const std::string& line, size_t at) {
    return static_cast<uint32_t>(std::stoul(line.substr(at, 8), nullptr, 16));
}

// The DMA address granted in the n-th exchange.
uint32_t grantedDma(size_t n) {
    std::string line = platsim::mailboxRequests().at(n);
    return hexAt(line, line.find("dma=") + 4);
}

std::vector<std::string> traceBuffers(const Json& entry) {
    std::vector<std::string> out;
    for (const Json& t : entry.at("traces")) out.push_back(t.at("buffer"));
    return out;
}

class MainStoreBlocks : public summarytest::SummaryTest {
protected:
    void SetUp() override {
        SummaryTest::SetUp();
        platsim::setMainStoreSize(0x10000);
        for (uint32_t i = 0; i < kRegionSize; ++i)
            iv_pattern.push_back(static_cast<char>(i * 7 + 1));
        platsim::writeMainStore(kRegion, iv_pattern);
    }

    std::string pattern(uint32_t offset, uint32_t length) const {
        return iv_pattern.substr(offset, length);
    }

    // Reads with the fixture's handle; the bytes, or "" after a failure
    // (whose entry is kept for failure()).
    std::string read(const DumpDataBlock& block, uint32_t offset, uint32_t length) {
        std::string out(length, '\0');
        iv_error = block.getData(offset, length, &out[0], &iv_handle);
        return iv_error ? "" : out;
    }
    Json failure() {
        ErrlEntry* e = iv_error;
        iv_error = nullptr;
        return committed(e);
    }

    // The last exchange released the start address with the granted length.
    void expectReleasedLast(uint64_t start, uint32_t granted) {
        std::string last = platsim::mailboxRequests().back();
        EXPECT_EQ(last.substr(0, 19), "40 " + hex64(start));
        EXPECT_EQ(hexAt(last, 20), granted);
    }
    static std::string hex64(uint64_t v) {
        char text[20];
        std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(v));
        return text;
    }

    dumpDMAEhandle iv_handle = {};
    ErrlEntry* iv_error = nullptr;
    std::string iv_pattern;
};

TEST_F(MainStoreBlocks, DmaeBlockReadsMainStoreAndSetsTheHandleUpOnce) {
    DumpDataBlockDMAE block(kRegionSize, kRegion);
    EXPECT_EQ(read(block, 0x10, 0x20), pattern(0x10, 0x20));
    EXPECT_TRUE(iv_handle.word[1] != 0 || iv_handle.word[2] != 0)
        << "the setup is kept in the caller's handle";

    // Set up already: a failing setup is never reached.
    platsim::setFault("dmaeSetup");
    EXPECT_EQ(read(block, 0x3F0, 0x10), pattern(0x3F0, 0x10));
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(block.remove(), nullptr);
    EXPECT_TRUE(errlog().empty());
}

TEST_F(MainStoreBlocks, DmaeFailureIsThePlatformsEntryWithTheEngineTrace) {
    DumpDataBlockDMAE block(kRegionSize, kRegion);
    platsim::setFault("dmaeSetup", "reason=0x1234");
    EXPECT_EQ(read(block, 0, 4), "");
    Json j = failure();
    ASSERT_EQ(j["srcs"].size(), 1u);
    EXPECT_EQ(j["srcs"][0]["reasonCode"], 0x1234);
    EXPECT_EQ(traceBuffers(j), std::vector<std::string>{"dmae"});
    EXPECT_TRUE(j["callPoints"].empty());
    EXPECT_EQ(j["userData"].size(), 1u) << "only the platform's own section";
    EXPECT_EQ(iv_handle.word[1] | iv_handle.word[2], 0u);
}

TEST_F(MainStoreBlocks, TceBlockReadsAtTheGrantedAddress) {
    DumpDataBlockTCE block(kRegionSize, kRegion);
    EXPECT_EQ(read(block, 0x100, 0x80), pattern(0x100, 0x80));
    ASSERT_EQ(codes(), std::vector<std::string>{"C0"});
    EXPECT_EQ(platsim::mailboxRequests()[0].substr(0, 28), "C0 0000000000002100 00000080");
    EXPECT_TRUE(iv_handle.word[1] != 0 || iv_handle.word[2] != 0);
    EXPECT_EQ(block.remove(), nullptr);
    EXPECT_EQ(codes().size(), 1u) << "remove asks nothing of the host";
    EXPECT_TRUE(errlog().empty());

    // Without a handle of the caller's the read still works.
    std::string out(4, '\0');
    EXPECT_EQ(block.getData(0, 4, &out[0], nullptr), nullptr);
    EXPECT_EQ(out, pattern(0, 4));
}

TEST_F(MainStoreBlocks, OneUnusableAnswerIsNotedAndRetriedASecondIsReturnedAndTheRangeReleased) {
    DumpDataBlockTCE block(kRegionSize, kRegion);
    struct Case {
        const char* mode;
        std::vector<uint32_t> words;  // the notice's and the returned entry's
        uint32_t granted;             // what the second answer left to release
    };
    for (const Case& c : {Case{"mode=status status=0x05", {0x011FE903, 5, 0, 0}, 0},
                          Case{"mode=short", {0x011FE904, 0x40, 0x3F, 0}, 0x3F}}) {
        SCOPED_TRACE(c.mode);
        ::unlink((root() + "/sim/mbox.log").c_str());
        size_t before = errlog().size();
        platsim::setFault("mboxFetchCecData", std::string(c.mode) + " count=1");
        EXPECT_EQ(read(block, 0x40, 0x40), pattern(0x40, 0x40));
        std::vector<Json> logs = errlog();
        ASSERT_EQ(logs.size(), before + 1) << "one notice committed";
        const Json& info = logs.back();
        EXPECT_EQ(info["rc"], 2);
        EXPECT_EQ(info["severity"], 0);
        EXPECT_EQ(info["srcs"][0]["reasonCode"], 0xF0E9);
        EXPECT_EQ(info["srcs"][0]["words"], Json(c.words));
        EXPECT_EQ(traceBuffers(info), std::vector<std::string>{"mbox"});
        EXPECT_EQ(codes(), (std::vector<std::string>{"C0", "C0"})) << "no release after a read that worked";

        ::unlink((root() + "/sim/mbox.log").c_str());
        platsim::setFault("mboxFetchCecData", std::string(c.mode) + " match=C0");
        EXPECT_EQ(read(block, 0x40, 0x40), "");
        Json j = failure();
        logs = errlog();
        ASSERT_EQ(logs.size(), before + 3) << "the first answer was committed as a notice";
        EXPECT_EQ(locationWord(logs[before + 1]), c.words[0]);
        EXPECT_EQ(logs[before + 1]["severity"], 0);
        EXPECT_EQ(j["severity"], 0x40);
        EXPECT_EQ(j["rc"], 2);
        EXPECT_EQ(j["srcs"][0]["words"], Json(c.words));
        ASSERT_EQ(codes(), (std::vector<std::string>{"C0", "C0", "40"}));
        uint32_t dma = c.granted ? grantedDma(1) : 0;  // a bad status never wrote one
        EXPECT_TRUE(!c.granted || dma != 0);
        EXPECT_EQ(userDataBytes(j, "DumpBufferDataInfo"),
                  Bytes().u32(dma).u32(0x40).u32(0).u32(kRegion + 0x40).bytes());
        EXPECT_EQ(traceBuffers(j), (std::vector<std::string>{"mbox", "mbox", "dmae"}));
        expectReleasedLast(kRegion + 0x40, c.granted);
        platsim::clearFault("mboxFetchCecData");
    }
}

TEST_F(MainStoreBlocks, RefusedFirstFormIsRetriedInTheSecondForm) {
    DumpDataBlockTCE block(kRegionSize, kRegion);
    platsim::setFault("mboxFetchCecData", "mode=refuse9539 count=1");
    EXPECT_EQ(read(block, 0, 0x20), pattern(0, 0x20));
    EXPECT_EQ(codes(), (std::vector<std::string>{"C0", "80"}));
    EXPECT_TRUE(errlog().empty()) << "the refusal is neither committed nor kept";
}

TEST_F(MainStoreBlocks, MailboxFailuresAddTheLibrarysSrcAndReleaseTheRange) {
    DumpDataBlockTCE block(kRegionSize, kRegion);
    struct Case {
        const char* fault;
        uint16_t platformReason;
        uint32_t locationWord;
        std::vector<std::string> codes;
    };
    for (const Case& c :
         {Case{"mode=refuse9539", 0x9539, 0x011FE901, {"C0", "80", "40"}},
          Case{"count=1 reason=0x4321", 0x4321, 0x011FE902, {"C0", "40"}},
          Case{"mode=refuse9539 count=2", 0x9539, 0x011FE901, {"C0", "80", "40"}}}) {
        SCOPED_TRACE(c.fault);
        ::unlink((root() + "/sim/mbox.log").c_str());
        platsim::setFault("mboxFetchCecData", c.fault);
        EXPECT_EQ(read(block, 4, 0x20), "");
        Json j = failure();
        ASSERT_EQ(j["srcs"].size(), 2u) << "the refused first entry was dropped, not merged";
        EXPECT_EQ(j["srcs"][0]["reasonCode"], c.platformReason);
        EXPECT_EQ(j["rc"], 2);
        EXPECT_EQ(j["srcs"][1]["reasonCode"], 0xF0E9);
        EXPECT_EQ(j["srcs"][1]["words"], Json::array({c.locationWord, 0x20, 0, 0}));
        EXPECT_EQ(userDataBytes(j, "DumpBufferDataInfo"),
                  Bytes().u32(0).u32(0x20).u32(0).u32(kRegion + 4).bytes());
        EXPECT_EQ(traceBuffers(j), (std::vector<std::string>{"mbox", "dmae"}));
        EXPECT_EQ(codes(), c.codes);
        platsim::clearFault("mboxFetchCecData");
    }
    EXPECT_EQ(errlog().size(), 3u) << "only the returned entries were committed";
}

TEST_F(MainStoreBlocks, EngineFailuresOfATceReadCarryTheGrantedAddress) {
    DumpDataBlockTCE block(kRegionSize, kRegion);
    platsim::setFault("dmaeRawRead", "count=1");
    EXPECT_EQ(read(block, 0, 0x10), "");
    Json j = failure();
    uint32_t dma = grantedDma(0);
    ASSERT_EQ(j["srcs"].size(), 2u);
    EXPECT_EQ(j["rc"], 2);
    EXPECT_EQ(j["srcs"][1]["reasonCode"], 0xF0E3);
    EXPECT_EQ(j["srcs"][1]["words"], Json::array({0x011FE305u, 0, 0, 0}));
    EXPECT_EQ(userDataBytes(j, "DumpBufferDataInfo"),
              Bytes().u32(dma).u32(0x10).u32(0).u32(kRegion).bytes());
    expectReleasedLast(kRegion, 0x10);

    // Setup failure on a fresh handle: the engine's entry as it came.
    iv_handle = {};
    platsim::setFault("dmaeSetup", "count=1");
    EXPECT_EQ(read(block, 0, 0x10), "");
    j = failure();
    ASSERT_EQ(j["srcs"].size(), 1u);
    EXPECT_EQ(j["srcs"][0]["component"], 0x2100);
    EXPECT_EQ(traceBuffers(j), (std::vector<std::string>{"mbox", "dmae"}));
    EXPECT_EQ(userDataBytes(j, "DumpBufferDataInfo").size(), 16u);
    expectReleasedLast(kRegion, 0x10);
}

}  // namespace
