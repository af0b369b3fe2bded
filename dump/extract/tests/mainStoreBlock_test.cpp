// Main-store blocks against the simulated main store, DMA engine and host
// mailbox: the reads, the handle's setup, the mailbox's second request form
// and retries, and the failure table with its release requests.
#include "platdump/dumpDataBlock.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

constexpr uint64_t kRegion = 0x2000;  // where the test pattern lies
constexpr uint32_t kRegionSize = 0x400;

// The request codes the mailbox was sent, in order.
Lines codes() {
    Lines out;
    for (const std::string& line : platsim::mailboxRequests()) out.push_back(line.substr(0, 2));
    return out;
}

class MainStoreBlocks : public DumpTest {
protected:
    void SetUp() override {
        DumpTest::SetUp();
        platsim::setMainStoreSize(0x10000);
        iv_pattern.clear();
        for (uint32_t i = 0; i < kRegionSize; ++i) iv_pattern.push_back(static_cast<char>(i * 7 + 1));
        platsim::writeMainStore(kRegion, iv_pattern);
    }
    // The bytes a read with the fixture's handle gave, or its log's
    // signature after a failure.
    std::string read(const DumpDataBlock& block, uint32_t offset, uint32_t length) {
        std::string out(length, '\0');
        const std::string log = signature(block.getData(offset, length, &out[0], &iv_handle));
        return log.empty() ? out : log;
    }
    // A failure row's call: 0x40 bytes from 0x40 into the region by TCE.
    std::function<ErrlEntry*()> tceRead() {
        return [this] {
            std::string out(0x40, '\0');
            return DumpDataBlockTCE(kRegionSize, kRegion).getData(0x40, 0x40, &out[0], &iv_handle);
        };
    }
    // What a failed TCE read left: the mailbox's requests, the last a
    // release of the start address (0x40 into the region) with the
    // length granted.
    std::function<void()> released(const Lines& requests, uint32_t granted) {
        return [=] {
            EXPECT_EQ(codes(), requests);
            const std::string release = "40 00000000" + hex8(kRegion + 0x40) + " " + hex8(granted);
            EXPECT_EQ(platsim::mailboxRequests().back().substr(0, 28), release);
        };
    }

    std::string iv_pattern;
};

TEST_F(MainStoreBlocks, DmaeBlockReadsMainStoreAndSetsTheHandleUpOnce) {
    DumpDataBlockDMAE block(kRegionSize, kRegion);
    EXPECT_EQ(read(block, 0x10, 0x20), iv_pattern.substr(0x10, 0x20));
    EXPECT_TRUE(iv_handle.word[1] != 0 || iv_handle.word[2] != 0) << "the setup is kept in the caller's handle";
    platsim::setFault("dmaeSetup");  // set up already: never reached
    EXPECT_EQ(read(block, 0x3F0, 0x10), iv_pattern.substr(0x3F0, 0x10));
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(block.remove(), nullptr);
}

TEST_F(MainStoreBlocks, TceBlockReadsAtTheGrantedAddressInEitherRequestForm) {
    DumpDataBlockTCE block(kRegionSize, kRegion);
    EXPECT_EQ(read(block, 0x100, 0x80), iv_pattern.substr(0x100, 0x80));
    ASSERT_EQ(codes(), Lines{"C0"});
    EXPECT_EQ(platsim::mailboxRequests()[0].substr(0, 28), "C0 0000000000002100 00000080");
    EXPECT_TRUE(iv_handle.word[1] != 0 || iv_handle.word[2] != 0);
    EXPECT_EQ(block.remove(), nullptr);
    EXPECT_EQ(codes().size(), 1u) << "remove asks nothing of the host";
    std::string out(4, '\0');
    EXPECT_EQ(block.getData(0, 4, &out[0], nullptr), nullptr) << "without a handle of the caller's";
    EXPECT_EQ(out, iv_pattern.substr(0, 4));

    ::unlink((root() + "/sim/mbox.log").c_str());
    platsim::setFault("mboxFetchCecData", "mode=refuse9539 count=1");
    EXPECT_EQ(read(block, 0, 0x20), iv_pattern.substr(0, 0x20));
    EXPECT_EQ(codes(), (Lines{"C0", "80"}));
    // The refusal is neither committed nor kept.
}

// An unusable answer (bad status, short grant) is noted once and asked
// again; a second is the failure.
TEST_F(MainStoreBlocks, FailureTable) {
    const std::string request = "000000400000000000002040";  // length, address high and low
    const std::string notice = " rc=2 sev=0 tr=mbox", failure = " rc=2 sev=40 DumpBufferDataInfo=";
    auto dmaeRead = [this] {
        return DumpDataBlockDMAE(kRegionSize, kRegion).getData(0, 4, &iv_pattern[0], &iv_handle);
    };
    // The log of a TCE read that failed before anything was granted.
    auto ungranted = [=](const std::string& head) {
        return head + failure + "00000000" + request + " tr=mbox tr=dmae";
    };
    expectRows({
        {"DMAE: the engine's setup fails", fault("dmaeSetup", "reason=0x1234"), dmaeRead,
         "platform:1234 rc=1 sev=40 tr=dmae", {}, [this] { EXPECT_EQ(iv_handle.word[1] | iv_handle.word[2], 0u); }},
        {"DMAE: the engine's read fails", fault("dmaeRawRead"), dmaeRead, "platform:2104 rc=1 sev=40 tr=dmae", {}},
        {"TCE: both request forms refused", fault("mboxFetchCecData", "mode=refuse9539"), tceRead(),
         ungranted("platform:9539 011FE901 40 0 0"), {}, released({"C0", "80", "40"}, 0)},
        {"TCE: the second form refused otherwise", fault("mboxFetchCecData", "mode=refuse9539 count=2"), tceRead(),
         ungranted("platform:9539 011FE901 40 0 0"), {}, released({"C0", "80", "40"}, 0)},
        {"TCE: the exchange fails otherwise", fault("mboxFetchCecData", "count=1 reason=0x4321"), tceRead(),
         ungranted("platform:4321 011FE902 40 0 0"), {}, released({"C0", "40"}, 0)},
        {"TCE: a bad status, noted and asked again", fault("mboxFetchCecData", "mode=status status=0x05 count=1"),
         tceRead(), "", {"011FE903 5 0 0" + notice}, [] { EXPECT_EQ(codes(), (Lines{"C0", "C0"})); }},
        {"TCE: a bad status twice", fault("mboxFetchCecData", "mode=status status=0x05 match=C0"), tceRead(),
         "011FE903 5 0 0" + failure + "00000000" + request + " tr=mbox tr=mbox tr=dmae", {"011FE903 5 0 0" + notice},
         released({"C0", "C0", "40"}, 0)},
        {"TCE: a short grant, noted and asked again", fault("mboxFetchCecData", "mode=short count=1"), tceRead(), "",
         {"011FE904 40 3F 0" + notice}, [] { EXPECT_EQ(codes(), (Lines{"C0", "C0"})); }},
        {"TCE: a short grant twice", fault("mboxFetchCecData", "mode=short match=C0"), tceRead(),
         "011FE904 40 3F 0" + failure + "********" + request + " tr=mbox tr=mbox tr=dmae",
         {"011FE904 40 3F 0" + notice}, released({"C0", "C0", "40"}, 0x3F)},
        {"TCE: the engine's setup fails", fault("dmaeSetup", "count=1"), tceRead(),
         "platform:2101 rc=1 sev=40" + failure.substr(12) + "********" + request + " tr=mbox tr=dmae", {},
         released({"C0", "40"}, 0x40)},
        {"TCE: the engine's read fails", fault("dmaeRawRead", "count=1"), tceRead(),
         "platform:2104 011FE305 0 0 0" + failure + "********" + request + " tr=mbox tr=dmae", {},
         released({"C0", "40"}, 0x40)},
    });
}

}  // namespace
