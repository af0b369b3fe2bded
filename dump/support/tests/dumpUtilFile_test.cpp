// Mirrored file I/O: chunked writes and their syncs, the free-space floor,
// the role rule, the backup's create command, and the failure table, in
// which backup failures never fail the local operation.
#include <cstdio>
#include <filesystem>

#include "platdump/dumpUtilFile.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

class MirroredFile : public DumpTest {};

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
}

TEST_F(MirroredFile, FreeSpaceFloorIsSevenPercentInTheRepositoryAndTwelveElsewhere) {
    std::filesystem::create_directories(primary("/var/log"));
    struct Case { const char* path; uint64_t blocks, freeBlocks; bool full; uint32_t percentUsed; };
    const Case cases[] = {
        {"/plat_dump/f", 1000, 70, true, 93}, {"/plat_dump/f", 1000, 71, false, 93},
        {"/var/log/f", 1000, 120, true, 88},  {"/var/log/f", 1000, 121, false, 88},
        {"/plat_dump/f", 1050, 73, true, 93}, {"/plat_dump/f", 1050, 74, false, 93},
        {"/var/log/f", 1000, 995, false, 1},  {"/var/log/f", 1000, 996, false, 0},
        // Worked in 32 bits: 5,000,000 x 1000 wraps, giving 7, not 50.
        {"/plat_dump/f", 10000000, 5000000, false, 7},
        {"/plat_dump/f", 0, 0, true, 0},  // a file system of no blocks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.freeBlocks) + " of " + std::to_string(c.blocks));
        platsim::setStatfs(c.blocks, c.freeBlocks);
        DumpUtilFile f(c.path);
        ASSERT_EQ(f.open("w+"), nullptr);
        // Bytes written, full, percentage used.
        EXPECT_EQ((std::vector<unsigned>{f.write("x", 1), f.iv_diskFull, f.iv_percentUsed}),
                  (std::vector<unsigned>{c.full ? 0u : 1u, c.full, c.percentUsed}));
    }
    // writeDirect checks no space.
    DumpUtilFile f("/plat_dump/space");
    ASSERT_EQ(f.open("w+"), nullptr);
    ASSERT_EQ(f.seek(208, UtilStream::START), 208);
    rmgrCalls();
    EXPECT_EQ(f.writeDirect(std::string(200000, 'b').data(), 200000), 200000u);
    EXPECT_EQ(rmgrCalls(), Lines{sync("/plat_dump/space", 208, 200000)});
}

TEST_F(MirroredFile, OffThePrimaryNothingIsMirrored) {
    for (int role : {0, 4}) {
        SCOPED_TRACE(role);
        platsim::setRole(role);
        // On the backup (role 0) this processor's files are the backup tree.
        auto other = [&](const std::string& p) { return role == 0 ? primary(p) : backup(p); };
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
    }
}

TEST_F(MirroredFile, OpenAsksTheBackupForAMissingCopyServedOnlyInRoleZeroAndAStreamIsWrittenInto) {
    writeFile(backup("/plat_dump/old"), "backup's own bytes");
    writeFile(primary("/plat_dump/local"), "12345");
    DumpUtilFile old("/plat_dump/old"), local("/plat_dump/local");
    ASSERT_EQ(old.open("w+"), nullptr);
    ASSERT_EQ(local.open("r+"), nullptr);
    EXPECT_EQ(readFile(backup("/plat_dump/old")), "backup's own bytes") << "not truncated";
    EXPECT_EQ(rmgrCalls(), Lines(2, "rmgrInvokeRemoteCommand 0xF000 0xF000 5"));
    EXPECT_TRUE(fileExists(backup("/plat_dump/local")));

    FILE* stream = std::tmpfile();
    {
        DumpUtilFile f(stream), unnamed;
        EXPECT_EQ(f.writeDirect("abc", 3), 3u);
        EXPECT_FALSE(f.hasError() || unnamed.isOpen());
    }
    std::rewind(stream);
    char bytes[4] = {};
    EXPECT_EQ(std::fread(bytes, 1, 3, stream), 3u);
    EXPECT_STREQ(bytes, "abc");
    std::fclose(stream);

    // The backup serves the create command only in role 0.
    NetcMessage request, response;
    const char path[] = "/plat_dump/remote", unreachable[] = "/no/such/dir/file";
    request.setMessageType(5);
    request.setData(path, sizeof path);
    response.setStatus(77);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr) << "role 1 only traces";
    platsim::setRole(0);
    request.setMessageType(6);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_EQ(response.getStatus(), 77) << "untouched so far";
    EXPECT_FALSE(fileExists(backup(path)) || fileExists(primary(path)));
    request.setMessageType(5);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_TRUE(fileExists(backup(path)));
    EXPECT_EQ(std::make_tuple(response.getComponent(), response.getMessageType(), response.getStatus()),
              std::make_tuple(0xF000u, 5, 0));
    request.setData(unreachable, sizeof unreachable);
    EXPECT_EQ(dumpRemoteProcessMessage(request, response), nullptr);
    EXPECT_EQ(response.getStatus(), 1);
}

TEST_F(MirroredFile, FailureTable) {
    const std::string f = "/plat_dump/f";
    auto written = [=](const char* bytes) { return [=] { EXPECT_EQ(readFile(platsim::hostPath(f)), bytes); }; };
    auto gone = [=] { EXPECT_FALSE(fileExists(platsim::hostPath(f))); };
    auto openWrite = [=] {
        DumpUtilFile d(f.c_str());
        ErrlEntry* e = d.open("w+");
        d.write("abcdef", 6);
        d.writeDirect("gh", 2);
        EXPECT_FALSE(d.hasError());
        return e;
    };
    auto existing = [=](std::function<void()> then) {
        return [=] {
            writeFile(platsim::hostPath(f), "ab");
            writeFile(platsim::hostPath(f, platsim::Fs::Backup), "ab");
            if (then) then();
        };
    };
    // A seek that fails inside write or writeDirect (the chunk's position)
    // does not keep the chunk from its mirror, which gets what the seek
    // returned; its error stays pending for the caller. remove takes the
    // pending error, one an earlier step left included.
    auto afterFailedSeek = [=](std::function<ErrlEntry*(DumpUtilFile&)> act, Lines mirrored) {
        return [=] {
            DumpUtilFile d(f.c_str());
            EXPECT_EQ(d.open("r+"), nullptr);
            d.seek(0, UtilStream::END);
            rmgrCalls();
            platsim::setFault("UtilFile.seek", "count=1");
            ErrlEntry* e = act(d);
            EXPECT_FALSE(d.hasError());
            EXPECT_EQ(rmgrCalls(), mirrored);
            return e;
        };
    };
    const std::string seekFailed = "platform:1104 rc=5 sev=40";
    expectRows({
        {"the role query fails in the create command's server", fault("rmgrGetTovRole", "count=1"), [] {
             NetcMessage request, response;
             return dumpRemoteProcessMessage(request, response);
         }, "platform:1601 rc=1 sev=40 cp=0217:2:0", {}},
        {"the role query fails in open, write and remove", fault("rmgrGetTovRole"), [=] {
             ErrlEntry* e = openWrite();
             EXPECT_EQ(DumpUtilFile::remove(f.c_str()), nullptr);
             return e;
         }, "", {}, [=] { EXPECT_TRUE(rmgrCalls().empty()); }},
        {"the remote create and the chunk syncs fail", [] {
             platsim::setFault("rmgrInvokeRemoteCommand");
             platsim::setFault("rmgrSyncFileChunk");
         }, openWrite, "", {}, written("abcdefgh")},
        {"the backup's delete fails (remove)", existing(fault("rmgrDeleteFile")),
         [=] { return DumpUtilFile(f.c_str()).remove(); }, "",
         {"platform:1605 rc=1 sev=40 kv=File remove on back up TOV failed:?:/plat_dump/f"}, gone},
        {"the backup's delete fails (static remove)", existing(fault("rmgrDeleteFile")),
         [=] { return DumpUtilFile::remove(f.c_str()); }, "",
         {"platform:1605 rc=1 sev=40 kv=rmgrDeleteFile() rets error.:?:/plat_dump/f"}, gone},
        {"the backup's stream sync fails", [] {
             std::filesystem::create_directories(platsim::hostPath("/etc/dump"));
             writeFile(platsim::hostPath("/etc/dump/cfg"), "configuration");
             platsim::setFault("rmgrStreamSync");
         }, [] {
             DumpUtilFile("/plat_dump/x").Sync();  // in the repository: never pushed
             DumpUtilFile("/etc/dump/cfg").Sync();
             return static_cast<ErrlEntry*>(nullptr);
         }, "", {"platform:1606 rc=1 sev=40 kv=File sync on back up TOV failed:?:/etc/dump/cfg"},
         [] { EXPECT_EQ(rmgrCalls(), Lines{"rmgrStreamSync 0xF000 /etc/dump/cfg"}); }},
        {"the local open fails", nullptr, [=] {
             DumpUtilFile d(f.c_str());
             ErrlEntry* e = d.open("r+");
             EXPECT_FALSE(d.hasError());
             return e;
         },
         "platform:1101 rc=2 sev=40", {}, [] { EXPECT_TRUE(rmgrCalls().empty()) << "and nothing goes to the backup"; }},
        {"the local removal fails", existing(fault("UtilFile.Remove", "count=1")),
         [=] { return DumpUtilFile(f.c_str()).remove(); }, "platform:1106 rc=5 sev=40", {}, [=] {
             EXPECT_TRUE(fileExists(platsim::hostPath(f)));
             EXPECT_FALSE(fileExists(platsim::hostPath(f, platsim::Fs::Backup))) << "the backup's copy goes all the same";
         }},
        {"the backup's delete and the local removal fail: the backup's comes first", existing([] {
             platsim::setFault("rmgrDeleteFile");
             platsim::setFault("UtilFile.Remove", "count=1");
         }), [=] { return DumpUtilFile(f.c_str()).remove(); }, "platform:1106 rc=5 sev=40",
         {"platform:1605 rc=1 sev=40 kv=File remove on back up TOV failed:?:/plat_dump/f"}, [=] {
             EXPECT_EQ(readFile(platsim::root() + "/sim/faults.log"),
                       "rmgrDeleteFile " + f + "\nUtilFile.Remove " + f + "\n");
         }},
        {"a missing file's removal", nullptr, [=] { return DumpUtilFile::remove(f.c_str()); },
         "platform:1106 rc=2 sev=40", {}},
        {"no path's removal", nullptr, [] { return DumpUtilFile::remove(nullptr); }, "platform:1106 rc=15 sev=40",
         {"platform:1605 rc=1 sev=40 kv=rmgrDeleteFile() rets error.:?:"}},
        {"the file system is full or cannot be queried", fault("statfs", "after=1"), [=] {
             DumpUtilFile d(f.c_str());
             EXPECT_EQ(d.open("w+"), nullptr);
             platsim::setStatfs(1000, 500);
             EXPECT_EQ(d.write(std::string(300000, 'b').data(), 300000), 131072u) << "the second chunk's check fails";
             EXPECT_TRUE(d.iv_diskFull);
             EXPECT_EQ(d.iv_percentUsed, 50u) << "a failed check leaves the figure";
             EXPECT_FALSE(d.hasError()) << "a full file system is no file error";
             return static_cast<ErrlEntry*>(nullptr);
         }, "", {}},
        {"a seek inside write fails", existing(nullptr),
         afterFailedSeek([](DumpUtilFile& d) { return d.write("ij", 2) == 2 ? d.takeError() : nullptr; },
                         {sync(f, UINT64_MAX, 2)}),
         seekFailed, {}, written("abij")},
        {"a seek inside writeDirect fails", existing(nullptr),
         afterFailedSeek([](DumpUtilFile& d) { return d.writeDirect("ij", 2) == 2 ? d.takeError() : nullptr; },
                         {sync(f, UINT64_MAX, 2)}),
         seekFailed, {}, written("abij")},
        {"a seek before remove fails", existing(nullptr), afterFailedSeek([](DumpUtilFile& d) {
             d.seek(0, UtilStream::END);
             return d.remove();
         }, {"rmgrDeleteFile 0xF000 /plat_dump/f"}),
         seekFailed, {}, [=] { EXPECT_FALSE(fileExists(primary(f)) || fileExists(backup(f))); }},
    });
}

}  // namespace
