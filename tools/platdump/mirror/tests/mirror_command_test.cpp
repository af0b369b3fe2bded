// `platdump mirror` as a user runs it, for what the failover drill does not
// show: the plan a dry run prints, the ranges copied and the redundancy
// manager's calls that copy them, the --json report, one dump's files,
// copies that do not take, what cannot be compared or is refused, and a
// collector writing all the while (its command-line mistakes are in the
// tool's command-line table).
#include <sys/wait.h>

#include <filesystem>

#include "tools/platdump/tests/toolTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

using Act = std::tuple<std::string, std::string, uint64_t, uint64_t>;  // action, path, offset, length

class MirrorCommand : public ToolTest {
protected:
    static std::vector<Act> acts(const Json& report) {
        std::vector<Act> all;
        for (const Json& a : report["actions"]) all.emplace_back(a["action"], a["path"], a["offset"], a["length"]);
        return all;
    }
};

TEST_F(MirrorCommand, ADryRunPrintsThePlanAndTheMirrorCopiesOnlyWhatDiffers) {
    completeDump(0x1A, true);
    // One of each difference: a byte of a copy changed, a copy one byte
    // longer, a copy gone, a file only the backup holds, and a file of
    // 300000 bytes only this processor holds (written past the library);
    // and a subdirectory here, which is not mirrored.
    patchFile(backup("/plat_dump/HwData.26"), 7, "\x40");  // was 0
    patchFile(backup("/plat_dump/SpTOC.26"), std::string::npos, "x");
    std::filesystem::remove(backup("/plat_dump/MDRT.26"));
    writeFile(backup("/plat_dump/stale.txt"), "left behind");
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    writeFile(primary("/plat_dump/big.bin"), big);
    std::filesystem::create_directories(primary("/plat_dump/notes"));
    const Files here = files(primary("/plat_dump")), there = files(backup("/plat_dump"));

    startRmgrLog();
    ToolRun r = platdump({"mirror", "--dry-run"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "copy     /plat_dump/HwData.26: byte 7 differs (here 60 (0x3C) bytes, the copy 60 (0x3C))\n"
              "create   /plat_dump/MDRT.26: the backup holds no copy (here 32 (0x20) bytes)\n"
              "replace  /plat_dump/SpTOC.26: the backup's copy is longer (61 (0x3D) bytes, here 60 (0x3C))\n"
              "create   /plat_dump/big.bin: the backup holds no copy (here 300000 (0x493E0) bytes)\n"
              "delete   /plat_dump/stale.txt: only the backup holds it (11 (0xB) bytes)\n"
              "10 files compared, 5 actions planned (dry run, nothing changed): the backup does NOT match this "
              "service processor\n");
    EXPECT_EQ(r.err, "");
    r = platdump({"mirror", "--dry-run", "--json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.json()["dryRun"], true);
    EXPECT_EQ(r.json()["actions"][0]["done"], false);
    EXPECT_TRUE(rmgrCalls().empty());
    EXPECT_TRUE(files(primary("/plat_dump")) == here && files(backup("/plat_dump")) == there);

    r = platdump({"mirror", "--json"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const Json report = r.json();
    EXPECT_EQ(acts(report), (std::vector<Act>{{"copy", "/plat_dump/HwData.26", 7, 1},
                                              {"create", "/plat_dump/MDRT.26", 0, 32},
                                              {"replace", "/plat_dump/SpTOC.26", 0, 60},
                                              {"create", "/plat_dump/big.bin", 0, 300000},
                                              {"delete", "/plat_dump/stale.txt", 0, 0}}))
        << r.out;
    EXPECT_EQ(report["matches"], true);
    EXPECT_EQ(report["rounds"], 1);
    EXPECT_EQ(report["files"], 9);  // in the last comparison: stale.txt is gone
    EXPECT_EQ(report["actions"][0]["dump"], "0x0000001A");
    EXPECT_EQ(report["actions"][3]["dump"], nullptr);
    // Ranges in chunks of 128 KiB, as the library's writes are mirrored; a
    // longer copy deleted first.
    EXPECT_EQ(rmgrCalls(), (std::vector<std::string>{
                               "rmgrSyncFileChunk 0xF000 /plat_dump/HwData.26 7 1",
                               "rmgrSyncFileChunk 0xF000 /plat_dump/MDRT.26 0 32",
                               "rmgrDeleteFile 0xF000 /plat_dump/SpTOC.26",
                               "rmgrSyncFileChunk 0xF000 /plat_dump/SpTOC.26 0 60",
                               "rmgrSyncFileChunk 0xF000 /plat_dump/big.bin 0 131072",
                               "rmgrSyncFileChunk 0xF000 /plat_dump/big.bin 131072 131072",
                               "rmgrSyncFileChunk 0xF000 /plat_dump/big.bin 262144 37856",
                               "rmgrDeleteFile 0xF000 /plat_dump/stale.txt",
                           }));

    // Differences far apart in a large file are copied as ranges of their
    // own, differences close together as one.
    big[10] ^= 1;
    big[200000] ^= 1;
    big[200002] ^= 1;
    writeFile(backup("/plat_dump/big.bin"), big);
    EXPECT_EQ(platdump({"mirror"}).code, 0);
    EXPECT_EQ(rmgrCalls(), (std::vector<std::string>{"rmgrSyncFileChunk 0xF000 /plat_dump/big.bin 10 1",
                                                     "rmgrSyncFileChunk 0xF000 /plat_dump/big.bin 200000 3"}));
    r = platdump({"mirror"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "9 files compared: the backup already matches this service processor\n");
    EXPECT_TRUE(rmgrCalls().empty());  // the comparison only reads
}

TEST_F(MirrorCommand, WithAnIdOnlyThatDumpsFilesAreBroughtInLine) {
    completeDump(0x1A, true);
    completeDump(0x1B, true);
    std::filesystem::remove(backup("/plat_dump/HwTOC.26"));
    std::filesystem::remove(backup("/plat_dump/HwTOC.27"));
    std::filesystem::remove(primary("/plat_dump/SpData.27"));  // named by 0x1B, gone here
    writeFile(backup("/plat_dump/stale.txt"), "left behind");

    ToolRun r = platdump({"mirror", "1B", "--json"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(acts(r.json()), (std::vector<Act>{{"create", "/plat_dump/HwTOC.27", 0, 132},
                                                {"delete", "/plat_dump/SpData.27", 0, 0}}))
        << r.out;
    EXPECT_EQ(r.json()["files"], 9);  // its summary and the 8 files it claims
    EXPECT_FALSE(std::filesystem::exists(backup("/plat_dump/HwTOC.26")));
    EXPECT_TRUE(std::filesystem::exists(backup("/plat_dump/stale.txt")));
}

TEST_F(MirrorCommand, ACopyThatDidNotTakeIsComparedAndCopiedAgainForBoundedRounds) {
    completeDump(0x1A, true);
    writeFile(backup("/plat_dump/HwData.26"), "short");
    platsim::setFault("rmgrSyncFileChunk", "count=1");
    ToolRun r = platdump({"mirror", "--json"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    Json report = r.json();
    ASSERT_EQ(report["actions"].size(), 2u) << r.out;
    EXPECT_EQ(report["rounds"], 2);
    EXPECT_EQ(report["actions"][0]["done"], false);
    EXPECT_NE(report["actions"][0]["why"].get<std::string>().find("rmgrSyncFileChunk failed: rc "), std::string::npos);
    EXPECT_EQ(report["actions"][1]["round"], 2);
    EXPECT_EQ(report["actions"][1]["done"], true);

    writeFile(backup("/plat_dump/HwData.26"), "short");
    platsim::setFault("rmgrSyncFileChunk", "");
    r = platdump({"mirror"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("4 actions in 4 rounds: the backup does NOT match this service processor\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("platdump mirror: /plat_dump/HwData.26: bytes 0 to 59 (0x3B) (60 bytes) differ (here 60 "
                         "(0x3C) bytes, the copy 5): rmgrSyncFileChunk failed: rc "),
              std::string::npos)
        << r.err;
}

// Exit 1 with why, and nothing done, for what cannot be compared or
// refused.
TEST_F(MirrorCommand, WhatCannotBeComparedOrIsRefused) {
    completeDump(0x1A, true);
    std::filesystem::remove(backup("/plat_dump/MDRT.26"));
    platsim::setFault("rmgrReadBackupFile", "match=HwData.26");
    startRmgrLog();
    ToolRun r = platdump({"mirror"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("platdump mirror: the backup's copy of /plat_dump/HwData.26 cannot be read at offset 0: rc "),
              std::string::npos)
        << r.err;
    // The copy that can be compared is still brought in line.
    EXPECT_EQ(rmgrCalls(), std::vector<std::string>{"rmgrSyncFileChunk 0xF000 /plat_dump/MDRT.26 0 32"});
    platsim::clearFaults();

    writeFile(backup("/plat_dump/stale.txt"), "left behind");
    const Files there = files(backup("/plat_dump"));
    platsim::setFault("rmgrListBackupDirectory", "");
    r = platdump({"mirror"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("platdump mirror: the backup's /plat_dump cannot be listed: rc "), std::string::npos) << r.err;
    platsim::setFault("rmgrGetTovRole", "");
    r = platdump({"mirror"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("platdump mirror: the role of this service processor cannot be queried: rc "),
              std::string::npos);
    platsim::clearFaults();
    platsim::setRole(0);
    r = platdump({"mirror"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "platdump mirror: this service processor is not the primary (role 0): only the primary keeps the "
              "backup's copies\n");
    EXPECT_TRUE(files(backup("/plat_dump")) == there);
}

// A collector writes eight dumps while mirror runs again and again: no run
// fails otherwise than by reporting a file that changed under it, and once
// the collector is done, one more run leaves the backup holding exactly
// this processor's files.
TEST_F(MirrorCommand, IsSafeWhileACollectorWrites) {
    pid_t collector = forkChild([this] {
        for (unsigned int id = 0x1A; id < 0x22; ++id) completeDump(id, true);
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    int status = 0;
    while (::waitpid(collector, &status, WNOHANG) == 0) {
        ToolRun r = platdump({"mirror"});
        EXPECT_TRUE(r.code == 0 || r.code == 1) << r.code << r.err;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ToolRun r = platdump({"mirror"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(files(backup("/plat_dump")) == files(primary("/plat_dump")));
}

}  // namespace
