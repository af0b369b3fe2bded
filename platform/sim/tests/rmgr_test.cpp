// The simulated redundancy manager: the backup tree kept current by range
// and by whole file, and read back.
#include <cstdio>

#include "platform/errlEntry.h"
#include "platform/rmgr.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class Rmgr : public SimTest {};

// (Whole-file syncs and deletions show in the mirrored-file and deletion tests.)
TEST_F(Rmgr, RangeSyncsCopyOnlyTheRangeOfTheFilesAsTheyStand) {
    writeFile(primary("/plat_dump/f"), "0123456789");
    writeFile(backup("/plat_dump/f"), "abcdefghijklmnop");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 1, 3), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "a123efghijklmnop") << "only the range";
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/f", 8, 100), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/f")), "a123efgh89") << "ends where the file ends";
    writeFile(primary("/plat_dump/new"), "xyz");
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, "/plat_dump/new", 1, 2), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/new")), std::string("\0yz", 3)) << "a missing copy is created";

    // Range syncs keep the files they copied open; files removed or
    // replaced by hand in between are still the ones synced.
    const char* f = "/plat_dump/f";
    std::remove(backup(f).c_str());
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, f, 4, 2), nullptr);
    EXPECT_EQ(readFile(backup(f)), std::string("\0\0\0\0" "45", 6)) << "a removed copy is made again";

    std::remove(primary(f).c_str());
    writeFile(primary(f), "abcdefghij");  // a new file of that name
    ASSERT_EQ(rmgrSyncFileChunk(0xF000, f, 0, 3), nullptr);
    EXPECT_EQ(readFile(backup(f)), std::string("abc\0" "45", 6)) << "the new local file is copied";

    std::remove(primary(f).c_str());
    EXPECT_FALSE(taken(rmgrSyncFileChunk(0xF000, f, 0, 3)).is_null()) << "a local file gone";
}

TEST_F(Rmgr, BackupCopiesAreReadAsTheyStandWhateverTheRole) {
    writeFile(backup("/plat_dump/b"), "backup bytes");
    writeFile(backup("/plat_dump/a"), "");
    writeFile(primary("/plat_dump/c"), "primary only");
    platsim::setRole(0);  // the backup's tree is still the one read
    startRmgrLog();

    bool exists = false;
    uint64_t size = 1;
    ASSERT_EQ(rmgrBackupFileSize(0xF000, "/plat_dump/b", exists, size), nullptr);
    EXPECT_TRUE(exists);
    EXPECT_EQ(size, 12u);
    ASSERT_EQ(rmgrBackupFileSize(0xF000, "/plat_dump/c", exists, size), nullptr);
    EXPECT_FALSE(exists) << "no copy is no failure";

    char buf[8] = {};
    uint32_t count = 99;
    ASSERT_EQ(rmgrReadBackupFile(0xF000, "/plat_dump/b", 7, 8, buf, count), nullptr);
    EXPECT_EQ(std::string(buf, count), "bytes") << "short where the copy ends";
    ASSERT_EQ(rmgrReadBackupFile(0xF000, "/plat_dump/b", 40, 8, buf, count), nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(taken(rmgrReadBackupFile(0xF000, "/plat_dump/c", 0, 8, buf, count)).is_null());

    std::vector<std::string> names{"kept"};
    ASSERT_EQ(rmgrListBackupDirectory(0xF000, "/plat_dump", names), nullptr);
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "a", "b"}));
    platsim::setFault("rmgrListBackupDirectory", "errno=13");
    Json e = taken(rmgrListBackupDirectory(0xF000, "/plat_dump", names));
    EXPECT_EQ(e["srcs"][0]["words"][0], 13);
    EXPECT_EQ(e["srcs"][0]["reasonCode"], 0x1609);
    EXPECT_TRUE(rmgrCalls().empty()) << "reads are not logged";
}

}  // namespace
