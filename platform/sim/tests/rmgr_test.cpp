// The simulated redundancy manager: role file, remote commands served as
// the backup, and the backup tree kept current by range, whole file and
// delete.
#include <string>

#include "platform/errlEntry.h"
#include "platform/netcMessage.h"
#include "platform/rmgr.h"
#include "platform/sim/platsim.h"
#include "platform/utilFile.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class Rmgr : public SimTest {};

constexpr uint16_t kTestComponent = 0x1234;

tovRole roleSeenByHandler = TOV_ROLE_UNKNOWN;

ErrlEntry* testHandler(NetcMessage& request, NetcMessage& response) {
    rmgrGetTovRole(roleSeenByHandler);
    UtilFile f(reinterpret_cast<const char*>(request.getData()));
    f.Open("w+", false);
    response.setStatus(f.hasError() ? 1 : 0);
    return nullptr;
}

tovRole role() {
    tovRole r = TOV_ROLE_UNKNOWN;
    ErrlEntry* e = rmgrGetTovRole(r);
    EXPECT_EQ(e, nullptr);
    delete e;
    return r;
}

TEST_F(Rmgr, RoleComesFromTheRoleFileAndCanFail) {
    EXPECT_EQ(role(), TOV_ROLE_PRIMARY) << "no role file: primary";
    platsim::setRole(0);
    EXPECT_EQ(role(), TOV_ROLE_BACKUP);
    platsim::setRole(4);
    EXPECT_EQ(role(), TOV_ROLE_UNKNOWN);
    platsim::setFault("rmgrGetTovRole", "count=1");
    tovRole r = TOV_ROLE_PRIMARY;
    ErrlEntry* e = rmgrGetTovRole(r);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getCreator(), 0x1600);
    delete e;
}

TEST_F(Rmgr, RemoteCommandRunsTheHandlerAsTheBackup) {
    NetcMessage request, response;
    const char path[] = "/plat_dump/made";
    request.setData(path, sizeof path);
    response.setStatus(9);

    ErrlEntry* e = rmgrInvokeRemoteCommand(request, response, kTestComponent, kTestComponent, 0, true);
    ASSERT_NE(e, nullptr) << "nobody serves the component yet";
    delete e;

    rmgrRegisterHandler(kTestComponent, &testHandler);
    ASSERT_EQ(rmgrInvokeRemoteCommand(request, response, kTestComponent, kTestComponent, 0, true),
              nullptr);
    EXPECT_EQ(roleSeenByHandler, TOV_ROLE_BACKUP);
    EXPECT_EQ(response.getStatus(), 0);
    EXPECT_TRUE(fileExists(backup(path)));
    EXPECT_FALSE(fileExists(primary(path)));
    EXPECT_EQ(role(), TOV_ROLE_PRIMARY) << "the caller is the primary again afterwards";

    platsim::setFault("rmgrInvokeRemoteCommand", "match=0x1234");
    e = rmgrInvokeRemoteCommand(request, response, kTestComponent, kTestComponent, 0, true);
    EXPECT_NE(e, nullptr);
    delete e;
    rmgrRegisterHandler(kTestComponent, nullptr);
}

TEST_F(Rmgr, ChunkSyncCopiesTheRangeAndEndsTheCopyWhereTheFileEnds) {
    writeFile(primary("/plat_dump/f"), "0123456789");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 2, 3), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), std::string("\0\0" "234", 5)) << "created";

    writeFile(backup("/plat_dump/f"), "abcdefghijklmnop");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 0, 4), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "0123efghijklmnop") << "only the range";
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 8, 100), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "0123efgh89") << "ends where the file ends";

    ErrlEntry* e = rmgrSyncFileChunk(0xF000, "/plat_dump/none", 0, 1);
    EXPECT_NE(e, nullptr) << "no local file to copy from";
    delete e;
}

TEST_F(Rmgr, StreamSyncCopiesTheWholeFileAndDeleteRemovesTheCopy) {
    writeFile(root() + "/sim/rmgr.log", "");
    writeFile(primary("/plat_dump/s"), "short");
    writeFile(backup("/plat_dump/s"), "a much longer old copy");
    ASSERT_EQ(rmgrStreamSync("/plat_dump/s", 0xF000), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/s")), "short");

    ASSERT_EQ(rmgrDeleteFile(0xF000, "/plat_dump/s"), nullptr);
    EXPECT_FALSE(fileExists(backup("/plat_dump/s")));
    EXPECT_TRUE(fileExists(primary("/plat_dump/s")));
    EXPECT_EQ(rmgrDeleteFile(0xF000, "/plat_dump/s"), nullptr) << "already gone is no failure";

    for (const char* call : {"rmgrStreamSync", "rmgrDeleteFile", "rmgrSyncFileChunk"})
        platsim::setFault(call, "match=/plat_dump/s");
    ErrlEntry* failures[] = {rmgrStreamSync("/plat_dump/s", 0xF000),
                             rmgrDeleteFile(0xF000, "/plat_dump/s"),
                             rmgrSyncFileChunk(0xF000, "/plat_dump/s", 0, 1)};
    for (ErrlEntry* f : failures) {
        EXPECT_NE(f, nullptr);
        delete f;
    }
    EXPECT_FALSE(fileExists(backup("/plat_dump/s")));
    EXPECT_EQ(readFile(root() + "/sim/rmgr.log"),
              "rmgrStreamSync 0xF000 /plat_dump/s\n"
              "rmgrDeleteFile 0xF000 /plat_dump/s\n"
              "rmgrDeleteFile 0xF000 /plat_dump/s\n"
              "rmgrStreamSync 0xF000 /plat_dump/s\n"
              "rmgrDeleteFile 0xF000 /plat_dump/s\n"
              "rmgrSyncFileChunk 0xF000 /plat_dump/s 0 1\n");
}

}  // namespace
