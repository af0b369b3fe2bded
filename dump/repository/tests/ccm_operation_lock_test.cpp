// The code-maintenance lock against the simulated manager: which answers
// count as holding or releasing the lock, and the entries each refusal
// leaves with the caller or in the committed log.
#include "platdump/dumpCCMOperationLock.h"

#include "platdump/dumpErrl.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class CcmLock : public SimTest {
protected:
    std::string holder() const { return readFile(root() + "/sim/ccmm/holder"); }

    // The dump component's SRC added to a refused call: reason 0xF0F7, the
    // location word of the reporting point and the manager's return code.
    static void expectRefusal(const Json& record, uint32_t location, uint32_t managerRc) {
        ASSERT_EQ(record["srcs"].size(), 2u) << record.dump();
        const Json& added = record["srcs"][1];
        EXPECT_EQ(added["component"], 0xF000);
        EXPECT_EQ(added["reasonCode"], 0xF0F7);
        EXPECT_EQ(added["fileNumber"], 0x18);
        EXPECT_EQ(added["words"], Json::array({location, managerRc, 0, 0}));
    }

    dumpCCMOperationLock iv_lock;
};

TEST_F(CcmLock, GetAndReleaseHoldAndDropThePreventionForTheDumpComponent) {
    EXPECT_EQ(iv_lock.getCCMOperationLock(), nullptr);
    EXPECT_EQ(holder(), "0xF000\n") << "the manager holds the prevention for 0xF000";

    // Asking again while the dump component holds it is tolerated.
    dumpCCMOperationLock other;
    EXPECT_EQ(other.getCCMOperationLock(), nullptr);
    EXPECT_EQ(holder(), "0xF000\n");

    iv_lock.releaseCCMOperationLock();
    EXPECT_EQ(holder(), "") << "released";
    // Releasing what is no longer prevented (0x1102030C) is tolerated too.
    iv_lock.releaseCCMOperationLock();
    EXPECT_TRUE(errlog().empty()) << "tolerated answers leave no log";
}

TEST_F(CcmLock, OnlyTheAlreadyPreventedCodeWithTheComponentUnchangedCountsAsHeld) {
    struct Case {
        const char* fault;
        uint32_t managerRc;
    } refused[] = {
        {"rc=0x11030302 component=0xF001", 0x11030302},  // the holder is another component
        {"rc=0x1102030C", 0x1102030C},                   // tolerated on release only
        {"rc=0x11030301", 0x11030301},
    };
    for (const Case& c : refused) {
        platsim::setFault("ccmmPreventCcmFeatures", std::string("count=1 ") + c.fault);
        ErrlEntry* e = iv_lock.getCCMOperationLock();
        ASSERT_NE(e, nullptr) << c.fault;
        EXPECT_EQ(e->getRC(), 2u);
        dumpCommitAndFreeLog(e);  // the caller's entry, committed to read its record
        std::vector<Json> logs = errlog();
        ASSERT_FALSE(logs.empty());
        expectRefusal(logs.back(), 0x0118F701, c.managerRc);
    }

    platsim::setFault("ccmmPreventCcmFeatures", "count=1 rc=0x11030302");
    EXPECT_EQ(iv_lock.getCCMOperationLock(), nullptr);
    EXPECT_EQ(errlog().size(), 3u) << "only the three refusals committed above";
}

TEST_F(CcmLock, RefusedReleaseCommitsExactlyOneLogAndToleratedOnesNone) {
    for (const char* tolerated : {"rc=0x11030302", "rc=0x1102030C"}) {
        platsim::setFault("ccmmAllowCcmFeatures", std::string("count=1 ") + tolerated);
        iv_lock.releaseCCMOperationLock();
    }
    EXPECT_TRUE(errlog().empty());

    platsim::setFault("ccmmAllowCcmFeatures", "count=1 rc=0x11020399");
    iv_lock.releaseCCMOperationLock();
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u);
    expectRefusal(logs[0], 0x0218F702, 0x11020399);
    EXPECT_EQ(logs[0]["rc"], 2);
    EXPECT_EQ(logs[0]["commit"]["component"], 0xF000);
}

}  // namespace
