// Mirrored file I/O: chunked writes and their syncs, the free-space floor,
// the role rule, the backup's create command, and backup failures that
// never fail the local operation.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

class MirroredFile : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        startRmgrLog();
    }
    // The key/value section a backup failure is committed with.
    std::vector<uint8_t> lastSection(size_t log) {
        Json j = errlog().at(log);
        return userDataBytes(j, j["userData"].size() - 1);
    }
};

std::string sync(const std::string& path, uint64_t offset, uint32_t length) {
    return "rmgrSyncFileChunk 0xF000 " + path + " " + std::to_string(offset) + " " + std::to_string(length);
}

TEST_F(MirroredFile, WriteGoesOutInChunksEachSyncedAtItsPosition) {
    std::vector<char> body(301000);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 131 >> 3);
    DumpUtilFile f("/plat_dump/big");
    ASSERT_EQ(f.open("w+"), nullptr);
    ASSERT_EQ(f.write(body.data(), 1000), 1000u);
    rmgrCalls();
    EXPECT_EQ(f.write(body.data() + 1000, 300000), 300000u);
    EXPECT_EQ(rmgrCalls(), (Lines{sync("/plat_dump/big", 1000, 131072), sync("/plat_dump/big", 132072, 131072),
                                  sync("/plat_dump/big", 263144, 37856)}));
    EXPECT_EQ(readBytes(primary("/plat_dump/big")), std::vector<uint8_t>(body.begin(), body.end()));
    EXPECT_EQ(readFile(backup("/plat_dump/big")), readFile(primary("/plat_dump/big")));

    // Exactly three local writes: a fault letting three pass never fires,
    // one letting two pass stops the third, which is still synced.
    platsim::setFault("UtilFile.write", "after=3");
    EXPECT_EQ(f.write(body.data(), 300000), 300000u);
    EXPECT_FALSE(f.hasError());
    platsim::setFault("UtilFile.write", "after=2");
    rmgrCalls();
    EXPECT_EQ(f.write(body.data(), 300000), 262144u);
    EXPECT_TRUE(f.hasError());
    EXPECT_EQ(rmgrCalls().back(), sync("/plat_dump/big", 601000 + 262144, 37856));
    EXPECT_TRUE(errlog().empty());
}

TEST_F(MirroredFile, FreeSpaceFloorIsSevenPercentInTheRepositoryAndTwelveElsewhere) {
    std::filesystem::create_directories(primary("/var/log"));
    struct Case { const char* path; uint64_t blocks, freeBlocks; bool full; uint32_t percentUsed; };
    const Case cases[] = {
        {"/plat_dump/f", 1000, 70, true, 93}, {"/plat_dump/f", 1000, 71, false, 93},
        {"/var/log/f", 1000, 120, true, 88},  {"/var/log/f", 1000, 121, false, 88},
        {"/plat_dump/f", 1050, 73, true, 93}, {"/plat_dump/f", 1050, 74, false, 93},
        {"/var/log/f", 1000, 995, false, 1},  {"/var/log/f", 1000, 996, false, 0},
        {"/var/log/f", 1000, 333, false, 67},
        // Worked in 32 bits: 5,000,000 x 1000 wraps, giving 7, not 50.
        {"/plat_dump/f", 10000000, 5000000, false, 7},
        {"/plat_dump/f", 0, 0, true, 0},  // a file system of no blocks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.freeBlocks) + " of " + std::to_string(c.blocks));
        platsim::setStatfs(c.blocks, c.freeBlocks);
        DumpUtilFile f(c.path);
        ASSERT_EQ(f.open("w+"), nullptr);
        EXPECT_EQ(f.write("x", 1), c.full ? 0u : 1u);
        EXPECT_EQ(f.iv_diskFull, c.full);
        EXPECT_EQ(f.iv_percentUsed, c.percentUsed);
    }
}

TEST_F(MirroredFile, SpaceIsCheckedBeforeEveryChunkButNotByWriteDirect) {
    std::vector<char> body(300000, 'b');
    DumpUtilFile f("/plat_dump/space");
    ASSERT_EQ(f.open("w+"), nullptr);
    platsim::setStatfs(1000, 500);
    platsim::setFault("statfs", "after=1");
    EXPECT_EQ(f.write(body.data(), 300000), 131072u) << "the second chunk's check fails";
    EXPECT_TRUE(f.iv_diskFull);
    EXPECT_EQ(f.iv_percentUsed, 50u) << "a failed check leaves the figure";
    EXPECT_FALSE(f.hasError()) << "a full file system is no file error";
    EXPECT_EQ(f.write(body.data(), 0), 0u);

    platsim::clearFault("statfs");
    platsim::setStatfs(1000, 1);
    ASSERT_EQ(f.seek(208, UtilStream::START), 208);
    rmgrCalls();
    EXPECT_EQ(f.writeDirect(body.data(), 200000), 200000u);
    EXPECT_EQ(rmgrCalls(), Lines{sync("/plat_dump/space", 208, 200000)});
    EXPECT_EQ(readFile(backup("/plat_dump/space")), readFile(primary("/plat_dump/space")));
}

TEST_F(MirroredFile, OffThePrimaryNothingIsMirrored) {
    for (std::string setup : {"role 0", "role 4", "role query fails"}) {
        SCOPED_TRACE(setup);
        platsim::setRole(setup == "role 0" ? 0 : setup == "role 4" ? 4 : 1);
        if (setup == "role query fails") platsim::setFault("rmgrGetTovRole");
        // On the backup (role 0) this processor's files are the backup tree.
        auto other = [&](const std::string& p) { return setup == "role 0" ? primary(p) : backup(p); };
        writeFile(other("/plat_dump/kept"), "kept");
        DumpUtilFile f("/plat_dump/r"), kept("/plat_dump/kept");
        ASSERT_EQ(f.open("w+"), nullptr);
        ASSERT_EQ(kept.open("w+"), nullptr);
        EXPECT_EQ(f.write("abc", 3) + f.writeDirect("de", 2), 5u);
        EXPECT_FALSE(fileExists(other("/plat_dump/r")));
        EXPECT_EQ(f.remove(), nullptr);
        EXPECT_EQ(DumpUtilFile::remove("/plat_dump/kept"), nullptr);
        EXPECT_EQ(readFile(other("/plat_dump/kept")), "kept");
        EXPECT_TRUE(rmgrCalls().empty());
        platsim::clearFaults();
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(MirroredFile, AFileOverAStreamWritesIntoTheStream) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        DumpUtilFile f(stream), unnamed;
        EXPECT_EQ(f.writeDirect("abc", 3), 3u);
        EXPECT_FALSE(f.hasError());
        EXPECT_FALSE(unnamed.isOpen());
    }
    std::rewind(stream);
    char bytes[4] = {};
    EXPECT_EQ(std::fread(bytes, 1, 3, stream), 3u);
    EXPECT_STREQ(bytes, "abc");
    std::fclose(stream);
}

TEST_F(MirroredFile, OpenAsksTheBackupToCreateAMissingCopyForEveryMode) {
    writeFile(backup("/plat_dump/old"), "backup's own bytes");
    DumpUtilFile old("/plat_dump/old");
    ASSERT_EQ(old.open("w+"), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/old")), "backup's own bytes") << "not truncated";

    writeFile(primary("/plat_dump/local"), "12345");
    DumpUtilFile local("/plat_dump/local");
    ASSERT_EQ(local.open("r+"), nullptr);
    EXPECT_EQ(rmgrCalls(), Lines(2, "rmgrInvokeRemoteCommand 0xF000 0xF000 5"));
    EXPECT_TRUE(fileExists(backup("/plat_dump/local")));

    DumpUtilFile missing("/plat_dump/missing");
    EXPECT_FALSE(taken(missing.open("r+")).is_null()) << "the local failure is the result";
    EXPECT_FALSE(missing.hasError());
    EXPECT_TRUE(rmgrCalls().empty()) << "and nothing goes to the backup";
}

TEST_F(MirroredFile, BackupServesTheCreateCommandOnlyInRoleZero) {
    NetcMessage request, response;
    const char path[] = "/plat_dump/remote";
    request.setMessageType(5);
    request.setData(path, sizeof path);
    response.setStatus(77);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr) << "role 1 only traces";

    platsim::setFault("rmgrGetTovRole", "count=1");
    EXPECT_EQ(taken(dumpRemoteProcessMessage(request, response))["callPoints"],
              Json::parse(R"([{"component":61440,"function":512,"file":23,"location":2,"word":0}])"));

    platsim::setRole(0);
    request.setMessageType(6);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_EQ(response.getStatus(), 77) << "untouched so far";
    EXPECT_FALSE(fileExists(backup(path)) || fileExists(primary(path)));

    request.setMessageType(5);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_TRUE(fileExists(backup(path)));
    EXPECT_EQ(response.getComponent(), 0xF000u);
    EXPECT_EQ(response.getMessageType(), 5);
    EXPECT_EQ(response.getStatus(), 0);
    const char unreachable[] = "/no/such/dir/file";
    request.setData(unreachable, sizeof unreachable);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_EQ(response.getStatus(), 1);
}

TEST_F(MirroredFile, SyncPushesOnlyFilesOutsideTheRepository) {
    DumpUtilFile inRepo("/plat_dump/x");
    inRepo.Sync();
    EXPECT_TRUE(rmgrCalls().empty());

    std::filesystem::create_directories(primary("/etc/dump"));
    writeFile(primary("/etc/dump/cfg"), "configuration");
    DumpUtilFile cfg("/etc/dump/cfg");
    cfg.Sync();
    EXPECT_EQ(rmgrCalls(), Lines{"rmgrStreamSync 0xF000 /etc/dump/cfg"});
    EXPECT_EQ(readFile(backup("/etc/dump/cfg")), "configuration");
    platsim::setFault("rmgrStreamSync");
    cfg.Sync();
    ASSERT_EQ(errlog().size(), 1u);
    EXPECT_EQ(lastSection(0), keyValue("File sync on back up TOV failed", "/etc/dump/cfg"));
}

TEST_F(MirroredFile, BackupFailuresNeverFailTheLocalOperation) {
    for (const char* call : {"rmgrInvokeRemoteCommand", "rmgrSyncFileChunk", "rmgrDeleteFile"})
        platsim::setFault(call);
    DumpUtilFile f("/plat_dump/f");
    EXPECT_EQ(f.open("w+"), nullptr);
    EXPECT_EQ(f.write("abcdef", 6) + f.writeDirect("gh", 2), 8u);
    EXPECT_FALSE(f.hasError());
    EXPECT_EQ(readFile(primary("/plat_dump/f")), "abcdefgh");
    EXPECT_TRUE(errlog().empty()) << "create and chunk failures are only traced";

    EXPECT_EQ(f.remove(), nullptr);
    writeFile(primary("/plat_dump/g"), "g");
    EXPECT_EQ(DumpUtilFile::remove("/plat_dump/g"), nullptr);
    EXPECT_FALSE(fileExists(primary("/plat_dump/f")) || fileExists(primary("/plat_dump/g")));
    ASSERT_EQ(errlog().size(), 2u) << "each failed backup delete is committed";
    EXPECT_EQ(lastSection(0), keyValue("File remove on back up TOV failed", "/plat_dump/f"));
    EXPECT_EQ(lastSection(1), keyValue("rmgrDeleteFile() rets error.", "/plat_dump/g"));
}

// A seek that fails inside write or writeDirect (the chunk's position)
// does not keep the chunk from its mirror, which gets what the seek
// returned; its error stays pending for the caller. remove takes the
// pending error, one an earlier step left included.
TEST_F(MirroredFile, AFailedSeekLeavesItsErrorForTheCaller) {
    const std::string path = "/plat_dump/f";
    const uint64_t failedPosition = UINT64_MAX;  // -1 from the seek
    const struct {
        const char* name;
        std::function<ErrlEntry*(DumpUtilFile&)> act;  // the error the caller ends with
        const char* content;                          // null: removed
        Lines mirrored;
    } rows[] = {
        {"write", [](DumpUtilFile& f) { return f.write("ij", 2) == 2 ? f.takeError() : nullptr; }, "abij",
         {sync(path, failedPosition, 2)}},
        {"writeDirect", [](DumpUtilFile& f) { return f.writeDirect("ij", 2) == 2 ? f.takeError() : nullptr; },
         "abij", {sync(path, failedPosition, 2)}},
        {"remove",
         [](DumpUtilFile& f) {
             f.seek(0, UtilStream::END);
             return f.remove();
         },
         nullptr, {"rmgrDeleteFile 0xF000 " + path}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DumpUtilFile f(path.c_str());
        ASSERT_EQ(f.open("w+"), nullptr);
        ASSERT_EQ(f.write("ab", 2), 2u);
        rmgrCalls();
        platsim::setFault("UtilFile.seek", "count=1");
        EXPECT_FALSE(taken(r.act(f)).is_null());
        platsim::clearFaults();
        EXPECT_FALSE(f.hasError());
        EXPECT_EQ(rmgrCalls(), r.mirrored);
        if (r.content)
            EXPECT_EQ(readFile(primary(path)), r.content);
        else
            EXPECT_FALSE(fileExists(primary(path)) || fileExists(backup(path)));
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(MirroredFile, RemoveDeletesBothCopiesAndReturnsOnlyTheLocalFailure) {
    writeFile(primary("/plat_dump/h"), "h");
    writeFile(backup("/plat_dump/h"), "h");
    platsim::setFault("UtilFile.Remove", "count=1");
    DumpUtilFile h("/plat_dump/h");
    EXPECT_FALSE(taken(h.remove()).is_null());
    EXPECT_FALSE(h.hasError());
    EXPECT_TRUE(fileExists(primary("/plat_dump/h")));
    EXPECT_FALSE(fileExists(backup("/plat_dump/h"))) << "the backup's copy goes first";
    EXPECT_EQ(h.remove(), nullptr);
    EXPECT_FALSE(fileExists(primary("/plat_dump/h")));

    EXPECT_FALSE(taken(DumpUtilFile::remove("/plat_dump/never")).is_null())
        << "a missing local file is the static remove's failure";
    EXPECT_TRUE(errlog().empty());
    EXPECT_FALSE(taken(DumpUtilFile::remove(nullptr)).is_null()) << "no path is no file";
    EXPECT_EQ(errlog().size(), 1u) << "nor one on the backup";
}

}  // namespace
