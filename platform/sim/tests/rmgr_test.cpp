// The simulated redundancy manager: remote commands served as the backup,
// and the backup tree kept current by range and by whole file.
#include "platform/errlEntry.h"
#include "platform/netcMessage.h"
#include "platform/rmgr.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class Rmgr : public SimTest {};

tovRole g_roleSeenByHandler = TOV_ROLE_UNKNOWN;

ErrlEntry* testHandler(NetcMessage& request, NetcMessage& response) {
    rmgrGetTovRole(g_roleSeenByHandler);
    writeFile(platsim::hostPath(reinterpret_cast<const char*>(request.getData()), platsim::Fs::Backup), "");
    response.setStatus(3);
    return nullptr;
}

TEST_F(Rmgr, RemoteCommandRunsTheRegisteredHandlerAsTheBackup) {
    NetcMessage request, response;
    request.setData("/plat_dump/made", 16);
    ErrlEntry* e = rmgrInvokeRemoteCommand(request, response, 0x1234, 0x1234, 0, true);
    EXPECT_NE(e, nullptr) << "nobody serves the component yet";
    delete e;

    rmgrRegisterHandler(0x1234, &testHandler);
    EXPECT_EQ(rmgrInvokeRemoteCommand(request, response, 0x1234, 0x1234, 0, true), nullptr);
    rmgrRegisterHandler(0x1234, nullptr);
    EXPECT_EQ(g_roleSeenByHandler, TOV_ROLE_BACKUP);
    EXPECT_EQ(response.getStatus(), 3);
    tovRole role = TOV_ROLE_UNKNOWN;
    EXPECT_EQ(rmgrGetTovRole(role), nullptr);
    EXPECT_EQ(role, TOV_ROLE_PRIMARY) << "the caller is the primary again afterwards";
}

TEST_F(Rmgr, SyncsCopyTheRangeOrTheWholeFile) {
    writeFile(primary("/plat_dump/f"), "0123456789");
    writeFile(backup("/plat_dump/f"), "abcdefghijklmnop");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 1, 3), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "a123efghijklmnop") << "only the range";
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 8, 100), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "a123efgh89") << "ends where the file ends";
    writeFile(primary("/plat_dump/new"), "xyz");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/new", 1, 2), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/new")), std::string("\0yz", 3)) << "a missing copy is created";

    writeFile(primary("/plat_dump/f"), "short");
    ASSERT_EQ(rmgrStreamSync("/plat_dump/f", 0xF000), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "short");
    ASSERT_EQ(rmgrDeleteFile(0xF000, "/plat_dump/f"), nullptr);
    EXPECT_EQ(rmgrDeleteFile(0xF000, "/plat_dump/f"), nullptr) << "already gone is no failure";
    EXPECT_TRUE(fileExists(primary("/plat_dump/f")));
}

}  // namespace
