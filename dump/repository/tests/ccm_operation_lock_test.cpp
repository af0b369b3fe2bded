// The code-maintenance lock against the simulated manager: which answers
// count as holding or releasing the lock, and the entries each refusal
// leaves with the caller or in the committed log.
#include "platdump/dumpCCMOperationLock.h"

#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class CcmLock : public DumpTest {
protected:
    std::string holder() const { return readFile(root() + "/sim/ccmm/holder"); }
    dumpCCMOperationLock iv_lock;
};

TEST_F(CcmLock, GetAndReleaseHoldAndDropThePreventionForTheDumpComponent) {
    EXPECT_EQ(iv_lock.getCCMOperationLock(), nullptr);
    EXPECT_EQ(holder(), "0xF000\n") << "the manager holds the prevention for 0xF000";
    // Asking again while the dump component holds it is tolerated.
    EXPECT_EQ(dumpCCMOperationLock().getCCMOperationLock(), nullptr);
    EXPECT_EQ(holder(), "0xF000\n");
    iv_lock.releaseCCMOperationLock();
    EXPECT_EQ(holder(), "") << "released";
    // Releasing what is no longer prevented (0x1102030C) is tolerated too.
    iv_lock.releaseCCMOperationLock();
    // Tolerated answers leave no log.
}

TEST_F(CcmLock, FailureTable) {
    auto get = [this] { return iv_lock.getCCMOperationLock(); };
    auto release = [this] { iv_lock.releaseCCMOperationLock(); return nullptr; };
    auto refused = [](const char* rc) { return std::string("platform:1A01 0118F701 ") + rc + " 0 0 rc=2 sev=40"; };
    const char *prevent = "ccmmPreventCcmFeatures", *allow = "ccmmAllowCcmFeatures";
    expectRows({
        {"prevention: already prevented for 0xF000, held", fault(prevent, "rc=0x11030302"), get, "", {}},
        {"prevention refused: held by another component", fault(prevent, "rc=0x11030302 component=0xF001"), get,
         refused("11030302"), {}},
        {"prevention refused: not prevented", fault(prevent, "rc=0x1102030C"), get, refused("1102030C"), {}},
        {"prevention refused: another code", fault(prevent, "rc=0x11030301"), get, refused("11030301"), {}},
        {"allowing: already prevented", fault(allow, "rc=0x11030302"), release, "", {}},
        {"allowing: not prevented", fault(allow, "rc=0x1102030C"), release, "", {}},
        {"allowing refused: another code", fault(allow, "rc=0x11020399"), release, "",
         {"platform:1A02 0218F702 11020399 0 0 rc=2 sev=40"}},
    });
}

}  // namespace
