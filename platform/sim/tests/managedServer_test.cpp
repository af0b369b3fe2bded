// The simulated managed server: main store, the DMA engine and the host
// mailbox's grants. (A refused IPL-type request shows in the extraction
// driver's failure table.)
#include <cstdio>
#include <string>
#include <vector>

#include "platform/dmae.h"
#include "platform/errlEntry.h"
#include "platform/mbox.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class ManagedServer : public SimTest {
protected:
    // One exchange; the status, or -(reason code) when an entry came back.
    int ask(uint32_t request, uint64_t address, uint32_t length) {
        uint32_t hi = static_cast<uint32_t>(address >> 32), lo = static_cast<uint32_t>(address);
        status = 0xEE;
        ErrlEntry* e =
            mboxFetchCecData(&request, &hi, &lo, &length, &dma, &granted, &status, 0xF000);
        if (!e) return status;
        int reason = e->getSRC(0)->reasonCode();
        delete e;
        return -reason;
    }
    // A DMA-engine read; the reason code of its failure, 0 on success.
    uint16_t engineRead(uint64_t address, std::string& out, bool tce) {
        hdatMsAddr_t at = {static_cast<uint32_t>(address >> 32), static_cast<uint32_t>(address)};
        ErrlEntry* e = dmaeRawRead(at, &out[0], static_cast<unsigned>(out.size()), tce, 7, "test",
                                   handle, true);
        uint16_t reason = e ? e->getSRC(0)->reasonCode() : 0;
        delete e;
        return reason;
    }

    fdal_t handle = {};
    uint32_t dma = 0xAAAAAAAA;
    uint32_t granted = 0xBBBBBBBB;
    uint8_t status = 0;
};

// (A bad status injected shows in the main-store blocks' failure table.)
TEST_F(ManagedServer, GrantsReadTheMappedMainStoreAndARangeBeyondItMapsNothing) {
    platsim::setMainStoreSize(0x8000);
    platsim::writeMainStore(0x1234, "main store bytes");
    EXPECT_EQ(ask(MBOX_CEC_DATA_MAP, 0x7F00, 0x200), 0x02) << "a range beyond main store";
    EXPECT_EQ(dma, 0xAAAAAAAAu) << "maps nothing";
    EXPECT_EQ(granted, 0xBBBBBBBBu);
    std::string out(5, '\0');
    EXPECT_EQ(engineRead(0x1234, out, false), 0x2102) << "not set up";
    bool tce = true;
    ASSERT_EQ(dmaeSetup(tce, 7, 8, true, handle, true), nullptr);
    EXPECT_NE(handle.word[1] | handle.word[2], 0u);

    EXPECT_EQ(ask(MBOX_CEC_DATA_MAP, 0x1234, 16), 0);
    EXPECT_EQ(granted, 16u);
    EXPECT_EQ(dma % 0x1000, 0x234u) << "the page offset is kept";
    EXPECT_EQ(engineRead(dma + 5, out, true), 0);
    EXPECT_EQ(out, "store");
    EXPECT_EQ(engineRead(dma + 12, out, true), 0x2103) << "past the grant";

    uint32_t first = dma;
    EXPECT_EQ(ask(MBOX_CEC_DATA_MAP_ALT, 0x1000, 0x100), 0);
    uint32_t second = dma;
    EXPECT_NE(second, first);
    EXPECT_EQ(ask(MBOX_CEC_DATA_RELEASE, 0x1234, 16), 0);
    EXPECT_EQ(dma, second) << "a release leaves the out words alone";
    EXPECT_EQ(engineRead(first, out, true), 0x2103) << "released";
    EXPECT_EQ(engineRead(second, out, true), 0) << "other grants stay";
    char expected[80];
    std::snprintf(expected, sizeof expected,
                  "C0 0000000000001234 00000010 -> status=00 dma=%08X granted=00000010", first);
    EXPECT_EQ(platsim::mailboxRequests().at(1), expected);
}

}  // namespace
