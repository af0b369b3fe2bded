// The simulated redundancy manager: a remote command nobody serves, and the
// backup tree kept current by range and by whole file.
#include <cstdio>

#include "platform/errlEntry.h"
#include "platform/netcMessage.h"
#include "platform/rmgr.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class Rmgr : public SimTest {};

// (The library's handler, run as the backup, shows in the mirrored-file tests.)
TEST_F(Rmgr, RemoteCommandForAComponentWithoutAHandlerFails) {
    NetcMessage request, response;
    request.setData("/plat_dump/made", 16);
    EXPECT_FALSE(taken(rmgrInvokeRemoteCommand(request, response, 0x1234, 0x1234, 0, true)).is_null());
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

// Range syncs keep the files they copied open; files removed or replaced
// by hand in between are still the ones synced.
TEST_F(Rmgr, RangeSyncsFollowFilesRemovedOrReplacedSinceTheLast) {
    const std::string f = "/plat_dump/kept";
    writeFile(primary(f), "0123456789");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, f.c_str(), 0, 4), nullptr);
    ASSERT_EQ(readFile(backup(f)), "0123");

    std::remove(backup(f).c_str());
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, f.c_str(), 4, 2), nullptr);
    EXPECT_EQ(readFile(backup(f)), std::string("\0\0\0\0" "45", 6)) << "a removed copy is made again";

    std::remove(primary(f).c_str());
    writeFile(primary(f), "abcdefghij");  // a new file of that name
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, f.c_str(), 0, 3), nullptr);
    EXPECT_EQ(readFile(backup(f)), std::string("abc\0" "45", 6)) << "the new local file is copied";

    std::remove(primary(f).c_str());
    EXPECT_FALSE(taken(rmgrSyncFileChunk(0xF000, f.c_str(), 0, 3)).is_null()) << "a local file gone";
}

}  // namespace
