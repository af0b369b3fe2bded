// ExtractDump against the simulation: who may read what in which system
// state, the failure table of the driver (the main-store failure policy
// of counting, replacement and the one checkstop-IPL request among it),
// the end of the stream, and the extraction semaphore that keeps
// deletions in other processes out.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platdump/platdump.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

constexpr uint16_t kComplete = 0x8000, kMainStore = 0x2000, kIplRequested = 0x0020, kWithdraw = 0x0004;
constexpr uint64_t kRegionAt = 0x4000;
constexpr uint32_t kRegionSize = 0x100;
const std::vector<Region> kOneRegion = {{kRegionAt, kRegionSize}};

class ExtractDriver : public DumpTest {
protected:
    uint16_t dumpFlags(const Kind& k) const { return static_cast<uint16_t>(fieldOf(k, 720, 2)); }
};

// (An incomplete system dump and state 5 are rows of the failure table.)
TEST_F(ExtractDriver, PermissionFollowsDumpKindFlagsSystemStateAndMode) {
    struct Row {
        const char* name;
        DumpSummary::typeOfSummary_t type;
        uint16_t flags;
        uint32_t privateFlags, state, mainStoreWord;
        uint8_t mode;
        const char* refused;  // the log's location word; null: permitted
        bool tce;
        size_t stateRecordBytes = 0;  // the record cut short; 0: whole
    };
    const auto SYS = DumpSummary::SYS, HWU = DumpSummary::HWU;
    const uint16_t ms = kComplete | kMainStore;
    const char *incomplete = "0121140", *unreachable = "0121110";
    const Row rows[] = {
        {"incomplete hardware unit", HWU, 0, 0, 9, 0, 2, incomplete, false},
        {"hardware unit, any state", HWU, kComplete, 0, 5, 7, 0, nullptr, false},
        {"system without main store", SYS, kComplete, 0, 5, 7, 0, nullptr, false},
        {"state 9", SYS, ms, 0, 9, 0, 0, nullptr, true},
        {"state 9, main store blocked", SYS, ms, 0, 9, 1, 2, unreachable, false},
        {"state 11 mode 2", SYS, ms, 0, 11, 0, 2, nullptr, false},
        {"state 11 mode 2, blocked", SYS, ms, 0, 11, 0x100, 2, unreachable, false},
        {"state 11 mode 4", SYS, ms, 0, 11, 0, 4, unreachable, false},
        {"state 11 mode 4, private 0x2", SYS, ms, 0x2, 11, 0, 4, nullptr, false},
        {"state 11 mode 3", SYS, ms, 0x2, 11, 0, 3, unreachable, false},
        {"state 9 in a record of 8 bytes", SYS, ms, 0, 9, 0, 2, unreachable, false, 8},
    };
    uint32_t id = 0x100;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Kind k{r.type, r.type == HWU ? 0x01000000 | ++id : ++id};
        bool withRegion = (r.flags & kMainStore) != 0;
        makeDump(k, r.flags, Parts().mainStore(withRegion ? kOneRegion : std::vector<Region>{}).privately(r.privateFlags));
        setSystem(r.state, r.mode, r.mainStoreWord, r.stateRecordBytes);
        ::unlink((root() + "/sim/mbox.log").c_str());
        uint32_t total = fileHeaderSize(k) + 1024 + (withRegion ? 32 + kRegionSize : 0);
        Extracted x = extract(k.id, 0, total);
        EXPECT_EQ(x.log.substr(0, 7), r.refused ? r.refused : "");
        EXPECT_EQ(x.length, r.refused ? 0 : total);  // (the bytes: the stream tests)
        EXPECT_EQ(!platsim::mailboxRequests().empty(), r.tce);
        EXPECT_EQ(newLogs(), std::vector<std::string>{"02211F04 " + hex(k.id) + " 0 0 rc=0 sev=0"}) << "an offload start";
    }
}

TEST_F(ExtractDriver, TceChoiceIsProcessWideAndKeptByHardwareUnitDumps) {
    const Kind sys{DumpSummary::SYS, 0x11}, hwu{DumpSummary::HWU, 0x01000022};
    makeDump(sys, kComplete | kMainStore, Parts().mainStore(kOneRegion));
    makeDump(hwu, kComplete | kMainStore, Parts().mainStore({{0x8000, 0x40}}));
    setSystem(9, 0);
    ASSERT_EQ(extract(sys.id, 208 + 1024 + 32 + 0x10, 0x20).log, "") << "0x10 into the region";
    ::unlink((root() + "/sim/mbox.log").c_str());
    ASSERT_EQ(extract(hwu.id, 160 + 1024 + 32, 0x40).log, "");
    EXPECT_FALSE(platsim::mailboxRequests().empty()) << "read by TCE as the system dump chose";

    DumpExtractData another;  // resets the choice for the whole process
    ::unlink((root() + "/sim/mbox.log").c_str());
    Extracted x = extract(hwu.id, 160 + 1024 + 32, 0x40);
    EXPECT_EQ(x.log, "");
    EXPECT_EQ(x.bytes, mainStore(0x8000, 0x40));
    EXPECT_TRUE(platsim::mailboxRequests().empty()) << "read by the engine";
}

TEST_F(ExtractDriver, FailureTable) {
    const Kind hwu{DumpSummary::HWU, 0x0100001A};
    const std::string start = "02211F04 1A 0 0 rc=0 sev=0";  // committed at offset 0
    const std::string replaced = "02211107 0 0 0 rc=6 sev=20 tr=dump", engine = "platform:2104 rc=";
    const std::string missing =
        "01130B06 1A 0 0 rc=1A sev=20 cp=0221:20:1A kv=Dump Summary Header file:?:" + summaryPath(kSys);
    // Dump k holding one region, the system in state and mode.
    auto dump = [this](const Kind& k, uint16_t flags, uint32_t state = 11, uint8_t mode = 2, uint32_t privateFlags = 0) {
        return [=] {
            makeDump(k, flags, Parts().mainStore(kOneRegion).privately(privateFlags));
            setSystem(state, mode);
        };
    };
    auto then = [](std::function<void()> first, std::function<void()> next) {
        return [=] {
            first();
            next();
        };
    };
    auto at = [this](uint64_t offset, uint32_t length = 0x40, const Kind& k = kSys) {
        return [=] { return extractCall(k.id, offset, length); };
    };
    auto delivered = [this](uint32_t length) { return [=] { EXPECT_EQ(iv_last.length, length); }; };
    auto region = [=](const Kind& k) { return at(fileHeaderSize(k) + 1024 + 32 + 0x10, 0x20, k); };
    // Two reads of k's region failing first (fault), each replaced, nothing requested.
    auto twoFailed = [=](const Kind& k, const char* fault) {
        return [=] {
            platsim::setFault(fault);
            for (int i = 0; i < 2; ++i) EXPECT_EQ(extract(k.id, fileHeaderSize(k) + 1024 + 48, 0x20).log, replaced);
            EXPECT_TRUE(platsim::iplTypeRequests().empty() && !(dumpFlags(k) & kIplRequested));
        };
    };
    // What the third failed read left: the failures counted, the checkstop IPL requested or not.
    auto counted = [this](const Kind& k, size_t at, unsigned requests) {
        return [=] {
            EXPECT_EQ(fieldOf(k, at), 3u);
            EXPECT_EQ(platsim::iplTypeRequests().size(), requests);
        };
    };
    const uint16_t ms = kComplete | kMainStore;
    const auto complete = dump(kSys, kComplete);
    // Engine reads of k's region failing after dumped arranged it: two replaced, the third the row's call.
    const std::string engineFailed = engine + "1 sev=40 cp=0221:1F:10 tr=dmae";
    auto engineRow = [=](const char* condition, std::function<void()> dumped, const Kind& k, size_t requests) {
        return FailureRow{condition, then(dumped, twoFailed(k, "dmaeRawRead")), region(k), replaced, {engineFailed},
                          counted(k, 4356, requests)};
    };
    expectRows({
        {"offset 0: the start of an offload", complete, at(0), "", {start}, delivered(0x40)},
        {"the semaphore cannot be set up", then(complete, fault("UtilSemaphore.init", "match=dump.3 rc=0x77")), at(0),
         "platform:1301 rc=77 sev=0 cp=0221:10:0", {start}, delivered(0)},
        {"the semaphore cannot be taken", then(complete, fault("UtilSemaphore.Down", "match=dump.3 rc=0x78")), at(0),
         "platform:1302 rc=78 sev=0 cp=0221:11:0", {start}, delivered(0)},
        {"the summary cannot be opened", [this] { setSystem(11, 2); }, at(0), missing + " tr=dump", {start}, delivered(0)},
        {"the summary is missing past offset 0", [this] { setSystem(11, 2); }, at(100),
         missing.substr(0, 20) + "B" + missing.substr(21) + " kv=Dump invalidated while extracting, id::?:0x1a tr=dump", {},
         delivered(0)},
        {"a resource dump's id names no summary to extract", dump(kRsc, kComplete), at(0, 0x40, kRsc),
         "01130B06 C3D 0 0 rc=1A sev=20 cp=0221:20:C3D kv=Dump Summary Header file:?:/plat_dump/SYSDUMP.00000C3D.summary"
         " tr=dump", {"02211F04 C3D 0 0 rc=0 sev=0"},
         [this] { EXPECT_TRUE(fileExists(primary(summaryPath(kRsc)))) << "left alone"; }},
        {"the operating mode is unreadable", then(complete, [] { platsim::removeRegistry("iplp/SysOpMode"); }), at(100),
         "platform:1201 0221F013 0 0 0 rc=2 sev=40", {}, delivered(0)},
        {"the system state is unreadable", then(complete, [] { platsim::removeRegistry("smgr/StateData"); }), at(100),
         "platform:1201 0121F002 0 0 0 rc=2 sev=40", {}, delivered(0)},
        {"the dump is not complete", dump(kSys, kMainStore), at(100), "01211401 1A 0 0 rc=6 sev=0", {}, delivered(0)},
        {"main store unreachable in this state", dump(kSys, ms, 5), at(100), "01211103 1A A000 0 rc=6 sev=0", {},
         delivered(0)},
        {"a file block's read fails", then(complete, [this] { ::unlink(primary(dumpFile(kSys, "SysTOC")).c_str()); }),
         at(1000, 300),
         "platform:1101 rc=2 sev=40 cp=011E:1:0 cp=0221:1F:0 DumpBufferDataInfo=********" + std::string(24, '0') + " tr=dump",
         {}, delivered(232)},
        {"TCE reads fail: counted and replaced", then(dump(kSys, ms, 9), twoFailed(kSys, "mboxFetchCecData")),
         at(208 + 1024 + 32 - 8, 0x20), replaced,
         {"platform:2201 011FE902 18 0 0 rc=2 sev=40 cp=0221:1F:0 DumpBufferDataInfo=" + std::string(14, '0') + "18" +
          std::string(12, '0') + "4000 tr=mbox tr=dmae"},
         [=] {
             EXPECT_EQ(iv_last.length, 8u) << "the MDRT's last bytes came before the failed block";
             counted(kSys, 4352, 0)();
         }},
        {"engine reads fail: the checkstop IPL granted", then(dump(kSys, ms), twoFailed(kSys, "dmaeRawRead")), region(kSys),
         replaced, {engineFailed}, [=] {
             counted(kSys, 4356, 1)();
             EXPECT_EQ(platsim::iplTypeRequests(), std::vector<std::string>{"20000904 F000 -> 2"});
             EXPECT_EQ(dumpFlags(kSys) & kIplRequested, kIplRequested);
             EXPECT_EQ(readFile(primary("/plat_dump/dumpstatus.0000001A")).rfind("CHECKSTOPIPL_CALLED,", 0), 0u);
             platsim::setFault("dmaeRawRead");
             EXPECT_EQ(extract(kSys.id, 208 + 1024 + 48, 0x20).log, replaced) << "not requested again";
             EXPECT_EQ(newLogs(), std::vector<std::string>{engineFailed});
             EXPECT_EQ(platsim::iplTypeRequests().size(), 1u);
             platsim::setFault("dmaeRawRead", "rc=6 reason=0xF011");
             EXPECT_EQ(extract(kSys.id, 208 + 1024 + 48, 0x20).log, "platform:F011 rc=6 sev=40 cp=0221:1F:10 tr=dmae")
                 << "already unreachable: returned as it is, nothing committed";
         }},
        engineRow("engine reads fail in mode 4 with leave: requested", dump(kSys, ms, 11, 4, 2), kSys, 1),
        engineRow("engine reads fail in mode 4 without leave: replaced", dump(hwu, ms, 11, 4), hwu, 0),
        engineRow("engine reads fail in mode 3: replaced", dump(hwu, ms, 11, 3, 2), hwu, 0),
        engineRow("engine reads fail in state 5: replaced", dump(hwu, ms, 5), hwu, 0),
        {"engine reads fail, main store withdrawn", then(dump(kSys, ms | kWithdraw), twoFailed(kSys, "dmaeRawRead")),
         region(kSys), engine + "B sev=40 cp=0221:1F:10 tr=dmae tr=dump tr=dump", {}, [=] {
             counted(kSys, 4356, 0)();
             EXPECT_EQ(dumpFlags(kSys) & kMainStore, 0) << "main store withdrawn from the dump";
             EXPECT_FALSE(fileExists(primary("/plat_dump/0000001A.MDRT")));
         }},
        {"engine reads fail: the checkstop-IPL request fails",
         then(then(dump(kSys, ms), twoFailed(kSys, "dmaeRawRead")), fault("smgrIplTypeRequest")), region(kSys),
         engine + "12 sev=40 cp=0221:1F:10 tr=dmae tr=dump", {"platform:2301 0421ED08 1A 0 0 rc=2 sev=40"},
         counted(kSys, 4356, 1)},
        {"engine reads fail: the checkstop IPL refused",
         then(then(dump(kSys, ms), twoFailed(kSys, "dmaeRawRead")), [] { platsim::setIplTypeReply(5); }), region(kSys),
         "platform:2104 04211209 1A 5 0 rc=2 sev=40 cp=0221:1F:10 tr=dmae tr=dump", {}, counted(kSys, 4356, 1)},
        {"the stream ends before the length asked", complete, at(1200, 100), "02210F05 4B0 4D0 64 rc=B sev=20 tr=dump",
         {}, delivered(32)},
        {"a request at the stream's end", complete, at(1232, 10),
         "02210F05 4D0 4D0 A rc=B sev=20 tr=dump", {}, delivered(0)},
        {"a request beyond the stream", complete, at(5000, 1),
         "02210F05 1388 4D0 1 rc=B sev=20 tr=dump", {}, delivered(0)},
        {"a request of no bytes", complete, at(100, 0), "", {}, delivered(0)},
        {"a request of no bytes at the stream's end", complete, at(1232, 0), "", {}, delivered(0)},
        {"the semaphore cannot be given back", then(complete, fault("UtilSemaphore.Up", "match=dump.3 count=1")),
         at(100), "", {"platform:1303 rc=1 sev=40 cp=0221:12:0"}, delivered(0x40)},
    });
}

// A deletion meeting an offload in another process: every extraction call
// gets the whole stream or finds the dump gone before it starts, never a
// stream cut short by files vanishing under it.
TEST_F(ExtractDriver, ExtractionAndDeletionInOtherProcessesExcludeEachOther) {
    const Kind k{DumpSummary::HWU, 0x0100001A};
    makeDump(k, kComplete, Parts().pairs(10));
    setSystem(11, 2);
    {
        std::unique_ptr<DumpSummary> s = open(k);  // its flush records the sizes
        for (unsigned i = 0; i < 10; ++i) {
            std::string data = dumpFile(k, "SpData" + std::to_string(i)), toc = dumpFile(k, "SpToc" + std::to_string(i));
            writeFile(primary(dumpFile(k, "HwData" + std::to_string(i))), std::string(512 << 10, 'a'));
            for (const std::string& f : {data, toc}) writeFile(primary(f), "8 bytes!");
            s->SetSPDATAFileNames(i, data, toc);
        }
    }
    // The stream from offset 1 (offset 0 would note an offload start each
    // time); asked for too much, the call says how much there is.
    const std::string stream = extract(k.id, 1, 8 << 20).bytes;
    ASSERT_EQ(iv_last.log.substr(0, 8), "02210F05") << "asked for too much";
    ASSERT_GT(stream.size(), 5u << 20);
    pid_t extractor = forkChild([&] {
        alarm(30);
        DumpExtractData x;
        for (std::string got = stream;; usleep(1000)) {
            unsigned n = got.size();
            std::string log = signature(x.ExtractDump(k.id, 1, n, &got[0], false, &iv_handle));
            if (!log.empty()) return log.find(" rc=1B ") != std::string::npos && n == 0 ? 0 : 1;
            if (n != stream.size() || got != stream) return 2;
        }
    });
    pid_t deleter = forkChild([&] {
        alarm(30);
        ErrlEntry* errl = nullptr;
        DumpSummary summary(k.id, errl, k.type);
        // Delete while an extraction call holds its semaphore.
        int fd = ::open((root() + "/sim/sem/dump.3").c_str(), O_RDWR | O_CREAT, 0644);
        while (flock(fd, LOCK_EX | LOCK_NB) == 0) flock(fd, LOCK_UN);
        close(fd);
        return !errl && DeleteDump(&summary) ? 0 : 1;
    });
    EXPECT_EQ(waitChild(deleter), 0);
    EXPECT_EQ(waitChild(extractor), 0);
    EXPECT_FALSE(fileExists(primary(summaryPath(k))));
}

}  // namespace
