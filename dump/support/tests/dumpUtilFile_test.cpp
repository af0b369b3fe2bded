// Mirrored file I/O: chunked writes and their syncs, the free-space floor,
// the role rule, the backup's create command, and backup failures that
// never fail the local operation. The redundancy manager's calls are read
// back from the simulation's call log (sim/rmgr.log).
#include <filesystem>
#include <string>
#include <vector>

#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class MirroredFile : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        writeFile(callLog(), "");
    }
    std::string callLog() const { return root() + "/sim/rmgr.log"; }
    // The redundancy manager's calls since the last look.
    std::vector<std::string> calls() {
        std::vector<std::string> lines;
        std::string text = readFile(callLog());
        size_t start = 0;
        for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(text.substr(start, nl - start));
        writeFile(callLog(), "");
        return lines;
    }
    static std::vector<char> pattern(size_t n, unsigned seed) {
        std::vector<char> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = static_cast<char>((i * 131 + seed) >> 3);
        return v;
    }
    // The section text a backup failure is committed with.
    static std::vector<uint8_t> keyValue(const std::string& key, const std::string& path) {
        return Bytes().text(key).text(":?:").text(path).u8(0).bytes();
    }
};

std::string sync(const std::string& path, uint64_t offset, uint32_t length) {
    return "rmgrSyncFileChunk 0xF000 " + path + " " + std::to_string(offset) + " " +
           std::to_string(length);
}

TEST_F(MirroredFile, WriteGoesOutInChunksEachSyncedAtItsPosition) {
    DumpUtilFile f("/plat_dump/big");
    ASSERT_EQ(f.open("w+"), nullptr);
    EXPECT_EQ(calls(), std::vector<std::string>{"rmgrInvokeRemoteCommand 0xF000 0xF000 5"});
    std::vector<char> head = pattern(1000, 1), body = pattern(300000, 2);
    ASSERT_EQ(f.write(head.data(), 1000), 1000u);
    calls();

    EXPECT_EQ(f.write(body.data(), 300000), 300000u);
    EXPECT_EQ(calls(), (std::vector<std::string>{sync("/plat_dump/big", 1000, 131072),
                                                 sync("/plat_dump/big", 1000 + 131072, 131072),
                                                 sync("/plat_dump/big", 1000 + 262144, 37856)}));
    EXPECT_FALSE(f.hasError());
    EXPECT_FALSE(f.iv_diskFull);
    EXPECT_EQ(readFile(primary("/plat_dump/big")).size(), 301000u);
    EXPECT_EQ(readFile(backup("/plat_dump/big")), readFile(primary("/plat_dump/big")));
    EXPECT_TRUE(errlog().empty());
}

TEST_F(MirroredFile, ThreeHundredThousandBytesTakeExactlyThreeLocalWrites) {
    std::vector<char> body = pattern(300000, 3);
    // A fault that lets three writes pass never fires...
    platsim::setFault("UtilFile.write", "after=3 match=/plat_dump/w3");
    DumpUtilFile three("/plat_dump/w3");
    ASSERT_EQ(three.open("w+"), nullptr);
    EXPECT_EQ(three.write(body.data(), 300000), 300000u);
    EXPECT_FALSE(three.hasError());

    // ...and one that lets two pass stops the third, which is still synced
    // with its requested size.
    platsim::setFault("UtilFile.write", "after=2 match=/plat_dump/w2");
    DumpUtilFile two("/plat_dump/w2");
    ASSERT_EQ(two.open("w+"), nullptr);
    calls();
    EXPECT_EQ(two.write(body.data(), 300000), 262144u);
    EXPECT_TRUE(two.hasError());
    EXPECT_EQ(calls().back(), sync("/plat_dump/w2", 262144, 37856));
}

struct FloorCase {
    const char* path;
    uint64_t blocks, freeBlocks;
    bool full;
    uint32_t percentUsed;
};

TEST_F(MirroredFile, FreeSpaceFloorIsSevenPercentInTheRepositoryAndTwelveElsewhere) {
    std::filesystem::create_directories(primary("/var/log"));
    const FloorCase cases[] = {
        {"/plat_dump/f", 1000, 70, true, 93},   {"/plat_dump/f", 1000, 71, false, 93},
        {"/var/log/f", 1000, 120, true, 88},    {"/var/log/f", 1000, 121, false, 88},
        {"/plat_dump/f", 1050, 73, true, 93},   {"/plat_dump/f", 1050, 74, false, 93},
        {"/var/log/f", 1000, 995, false, 1},    {"/var/log/f", 1000, 996, false, 0},
    };
    char byte = 'x';
    for (const FloorCase& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.blocks) + "/" +
                     std::to_string(c.freeBlocks));
        platsim::setStatfs(c.blocks, c.freeBlocks);
        DumpUtilFile f(c.path);
        ASSERT_EQ(f.open("w+"), nullptr);
        EXPECT_EQ(f.write(&byte, 1), c.full ? 0u : 1u);
        EXPECT_EQ(f.iv_diskFull, c.full);
        EXPECT_EQ(f.iv_percentUsed, c.percentUsed);
        EXPECT_EQ(f.size(), c.full ? 0u : 1u);
    }
}

TEST_F(MirroredFile, SpaceIsCheckedBeforeEveryChunkAndAFailedQueryCountsAsFull) {
    std::vector<char> body = pattern(300000, 4);
    DumpUtilFile f("/plat_dump/space");
    ASSERT_EQ(f.open("w+"), nullptr);
    platsim::setStatfs(1000, 500);
    ASSERT_EQ(f.write(body.data(), 10), 10u);
    EXPECT_EQ(f.iv_percentUsed, 50u);

    platsim::setFault("statfs", "after=1");
    EXPECT_EQ(f.write(body.data(), 300000), 131072u) << "the second chunk's check fails";
    EXPECT_TRUE(f.iv_diskFull);
    EXPECT_EQ(f.iv_percentUsed, 50u) << "a failed check leaves the figure";
    EXPECT_FALSE(f.hasError()) << "a full file system is no file error";

    platsim::setFault("statfs");
    EXPECT_EQ(f.write(body.data(), 0), 0u);
    EXPECT_TRUE(f.iv_diskFull) << "a zero-length write runs no check";
    platsim::clearFault("statfs");
    EXPECT_EQ(f.write(body.data(), 5), 5u);
    EXPECT_FALSE(f.iv_diskFull);
}

TEST_F(MirroredFile, WriteDirectIsOneUncheckedMirroredWrite) {
    std::vector<char> body = pattern(200000, 5);
    DumpUtilFile f("/plat_dump/direct");
    ASSERT_EQ(f.open("w+"), nullptr);
    ASSERT_EQ(f.seek(208, UtilStream::START), 208);
    platsim::setStatfs(1000, 1);
    calls();
    EXPECT_EQ(f.writeDirect(body.data(), 200000), 200000u);
    EXPECT_EQ(calls(), std::vector<std::string>{sync("/plat_dump/direct", 208, 200000)});
    EXPECT_FALSE(f.iv_diskFull);
    EXPECT_EQ(readFile(backup("/plat_dump/direct")), readFile(primary("/plat_dump/direct")));
}

TEST_F(MirroredFile, OffThePrimaryNothingIsMirrored) {
    for (std::string setup : {"role 0", "role 4", "role query fails"}) {
        SCOPED_TRACE(setup);
        platsim::setRole(setup == "role 0" ? 0 : setup == "role 4" ? 4 : 1);
        if (setup == "role query fails") platsim::setFault("rmgrGetTovRole");
        // On the backup (role 0) this processor's files are the backup tree.
        auto other = [&](const std::string& p) { return setup == "role 0" ? primary(p) : backup(p); };
        DumpUtilFile f("/plat_dump/r");
        ASSERT_EQ(f.open("w+"), nullptr);
        EXPECT_EQ(f.write("abc", 3), 3u);
        EXPECT_EQ(f.writeDirect("de", 2), 2u);
        EXPECT_EQ(f.size(), 5u);
        EXPECT_FALSE(fileExists(other("/plat_dump/r")));
        EXPECT_EQ(f.remove(), nullptr);

        writeFile(other("/plat_dump/s"), "kept");
        DumpUtilFile s("/plat_dump/s");
        ASSERT_EQ(s.open("w+"), nullptr);
        EXPECT_EQ(DumpUtilFile::remove("/plat_dump/s"), nullptr);
        EXPECT_EQ(readFile(other("/plat_dump/s")), "kept");
        EXPECT_TRUE(calls().empty());
        platsim::clearFaults();
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(MirroredFile, OpenAsksTheBackupToCreateAMissingCopyOnlyAndForEveryMode) {
    writeFile(backup("/plat_dump/old"), "backup's own bytes");
    DumpUtilFile old("/plat_dump/old");
    ASSERT_EQ(old.open("w+"), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/old")), "backup's own bytes") << "not truncated";

    writeFile(primary("/plat_dump/local"), "12345");
    DumpUtilFile local("/plat_dump/local");
    ASSERT_EQ(local.open("r+"), nullptr);
    EXPECT_TRUE(fileExists(backup("/plat_dump/local")));
    EXPECT_EQ(readFile(backup("/plat_dump/local")), "") << "created empty";

    calls();
    DumpUtilFile missing("/plat_dump/missing");
    ErrlEntry* e = missing.open("r+");
    ASSERT_NE(e, nullptr) << "the local failure is the result";
    EXPECT_FALSE(missing.hasError()) << "and no longer pending";
    delete e;
    EXPECT_TRUE(calls().empty()) << "nothing goes to the backup";
    EXPECT_FALSE(fileExists(backup("/plat_dump/missing")));
}

TEST_F(MirroredFile, BackupServesTheCreateCommandOnlyInRoleZero) {
    NetcMessage request, response;
    const char path[] = "/plat_dump/remote";
    request.setMessageType(5);
    request.setData(path, sizeof path);
    response.setStatus(77);

    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr) << "role 1 only traces";
    EXPECT_EQ(response.getStatus(), 77);
    EXPECT_FALSE(fileExists(primary(path)));

    platsim::setFault("rmgrGetTovRole");
    ErrlEntry* e = dumpRemoteProcessMessage(request, response);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->callPoints().size(), 1u);
    const ErrlCallPoint& cp = e->callPoints()[0];
    EXPECT_EQ(cp.component, 0xF000);
    EXPECT_EQ(cp.function, 0x0200);
    EXPECT_EQ(cp.file, 0x17);
    EXPECT_EQ(cp.location, 2);
    EXPECT_EQ(cp.word, 0u);
    EXPECT_EQ(response.getStatus(), 77) << "the response stays untouched";
    delete e;
    platsim::clearFaults();

    platsim::setRole(0);
    request.setMessageType(6);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_EQ(response.getStatus(), 77) << "an unknown type is only traced";
    EXPECT_FALSE(fileExists(backup(path)));

    request.setMessageType(5);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_TRUE(fileExists(backup(path)));
    EXPECT_EQ(response.getComponent(), 0xF000u);
    EXPECT_EQ(response.getMessageType(), 5);
    EXPECT_EQ(response.getStatus(), 0);

    const char unreachable[] = "/no/such/dir/file";
    request.setData(unreachable, sizeof unreachable);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_EQ(response.getStatus(), 1) << "the path still does not exist";
}

TEST_F(MirroredFile, SyncPushesOnlyFilesOutsideTheRepository) {
    std::filesystem::create_directories(primary("/etc/dump"));
    DumpUtilFile inRepo("/plat_dump/x");
    ASSERT_EQ(inRepo.open("w+"), nullptr);
    calls();
    inRepo.Sync();
    EXPECT_TRUE(calls().empty());

    writeFile(primary("/etc/dump/cfg"), "configuration");
    DumpUtilFile cfg("/etc/dump/cfg");
    cfg.Sync();
    EXPECT_EQ(calls(), std::vector<std::string>{"rmgrStreamSync 0xF000 /etc/dump/cfg"});
    EXPECT_EQ(readFile(backup("/etc/dump/cfg")), "configuration");

    platsim::setFault("rmgrStreamSync");
    writeFile(primary("/etc/dump/cfg"), "changed");
    cfg.Sync();
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0]["userData"].back()["type"], "DumpKeyValueStringInfo");
    EXPECT_EQ(userDataBytes(logs[0], logs[0]["userData"].size() - 1),
              keyValue("File sync on back up TOV failed", "/etc/dump/cfg"));
    EXPECT_EQ(readFile(backup("/etc/dump/cfg")), "configuration");
}

TEST_F(MirroredFile, BackupFailuresNeverFailTheLocalOperation) {
    platsim::setFault("rmgrInvokeRemoteCommand");
    platsim::setFault("rmgrSyncFileChunk");
    DumpUtilFile f("/plat_dump/f");
    EXPECT_EQ(f.open("w+"), nullptr);
    EXPECT_EQ(f.write("abcdef", 6), 6u);
    EXPECT_EQ(f.writeDirect("gh", 2), 2u);
    EXPECT_FALSE(f.hasError());
    EXPECT_EQ(readFile(primary("/plat_dump/f")), "abcdefgh");
    EXPECT_TRUE(errlog().empty()) << "create and chunk failures are only traced";

    platsim::setFault("rmgrDeleteFile");
    writeFile(backup("/plat_dump/f"), "copy");
    EXPECT_EQ(f.remove(), nullptr);
    EXPECT_FALSE(fileExists(primary("/plat_dump/f")));
    writeFile(primary("/plat_dump/g"), "g");
    EXPECT_EQ(DumpUtilFile::remove("/plat_dump/g"), nullptr);
    EXPECT_FALSE(fileExists(primary("/plat_dump/g")));

    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 2u) << "each failed backup delete is committed";
    EXPECT_EQ(userDataBytes(logs[0], logs[0]["userData"].size() - 1),
              keyValue("File remove on back up TOV failed", "/plat_dump/f"));
    EXPECT_EQ(userDataBytes(logs[1], logs[1]["userData"].size() - 1),
              keyValue("rmgrDeleteFile() rets error.", "/plat_dump/g"));
    EXPECT_EQ(logs[0]["commit"]["component"], 0xF000);
}

TEST_F(MirroredFile, RemoveDeletesBothCopiesAndReturnsOnlyTheLocalFailure) {
    DumpUtilFile f("/plat_dump/f");
    ASSERT_EQ(f.open("w+"), nullptr);
    ASSERT_EQ(f.write("abc", 3), 3u);
    ASSERT_TRUE(fileExists(backup("/plat_dump/f")));
    EXPECT_EQ(f.remove(), nullptr);
    EXPECT_FALSE(fileExists(primary("/plat_dump/f")));
    EXPECT_FALSE(fileExists(backup("/plat_dump/f")));

    writeFile(primary("/plat_dump/h"), "h");
    writeFile(backup("/plat_dump/h"), "h");
    platsim::setFault("UtilFile.Remove");
    DumpUtilFile h("/plat_dump/h");
    ErrlEntry* e = h.remove();
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(h.hasError());
    delete e;
    EXPECT_TRUE(fileExists(primary("/plat_dump/h")));
    EXPECT_FALSE(fileExists(backup("/plat_dump/h"))) << "the backup's copy goes first";

    e = DumpUtilFile::remove("/plat_dump/never");
    ASSERT_NE(e, nullptr) << "a missing local file is the static remove's failure";
    delete e;
    EXPECT_TRUE(errlog().empty());
}

}  // namespace
