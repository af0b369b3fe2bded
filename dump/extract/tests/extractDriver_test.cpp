// ExtractDump against the simulation: who may read what in which system
// state, the driver's own failures, the end of the stream, the main-store
// failure policy (counting, replacement, the one checkstop-IPL request) and
// the extraction semaphore shared with other processes.
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "dump/extract/tests/extractTest.h"
#include "platform/utilSemaphore.h"

using namespace extracttest;
using summarytest::kHwu;
using summarytest::kRsc;
using summarytest::kSys;
using summarytest::word;
using testsupport::locationWord;

namespace {

constexpr uint64_t kRegionAt = 0x4000;
constexpr uint32_t kRegionSize = 0x100;
// With empty system nodal files: header, summary, a one-entry MDRT.
constexpr uint32_t kMdrtAt = 208 + 1024;
constexpr uint32_t kRegionInStream = kMdrtAt + 32;
const std::vector<Region> kOneRegion = {{kRegionAt, kRegionSize}};

class ExtractDriver : public ExtractTest {
protected:
    void clearMailboxLog() { ::unlink((root() + "/sim/mbox.log").c_str()); }
    // A complete dump holding one main-store region.
    Kind mainStoreDump(const Kind& base, uint32_t id, uint16_t moreFlags = 0,
                       uint32_t privateFlags = 0) {
        Kind k = withId(base, id);
        makeDump(k, kComplete | kMainStore | moreFlags, kOneRegion, privateFlags);
        return k;
    }
    // 0x20 bytes from 0x10 into the region.
    Extracted readRegion(const Kind& k) {
        return extract(k.id, k.fileHeaderSize + 1024 + 32 + 0x10, 0x20);
    }
    // The failure was reported as main store unreachable (location 7).
    static void expectReplaced(const Extracted& x) {
        ASSERT_TRUE(x.failed);
        EXPECT_EQ(x.entry["rc"], 6);
        EXPECT_EQ(x.entry["srcs"][0]["words"], Json::array({word(0x0221, 0xF011, 7), 0, 0, 0}));
        EXPECT_EQ(x.length, 0u);
    }
};

TEST_F(ExtractDriver, PermissionFollowsDumpKindFlagsSystemStateAndMode) {
    struct Row {
        const char* name;
        Kind base;
        uint16_t flags;
        uint32_t privateFlags;
        uint32_t state, mainStoreWord;
        uint8_t mode;
        uint8_t refusedAt;  // location under module 0x0121; 0: permitted
        bool tce;
        size_t stateRecordBytes = 0;  // the record cut short; 0: whole
    };
    const uint16_t ms = kComplete | kMainStore;
    const Row rows[] = {
        {"incomplete", kSys, kMainStore, 0, 9, 0, 2, 1, false},
        {"incomplete hardware unit", kHwu, 0, 0, 9, 0, 2, 1, false},
        {"hardware unit, any state", kHwu, kComplete, 0, 5, 7, 0, 0, false},
        {"system without main store", kSys, kComplete, 0, 5, 7, 0, 0, false},
        {"state 9", kSys, ms, 0, 9, 0, 0, 0, true},
        {"state 9, main store blocked", kSys, ms, 0, 9, 1, 2, 3, false},
        {"state 11 mode 2", kSys, ms, 0, 11, 0, 2, 0, false},
        {"state 11 mode 2, blocked", kSys, ms, 0, 11, 0x100, 2, 3, false},
        {"state 11 mode 4", kSys, ms, 0, 11, 0, 4, 3, false},
        {"state 11 mode 4, private 0x2", kSys, ms, 0x2, 11, 0, 4, 0, false},
        {"state 11 mode 3", kSys, ms, 0x2, 11, 0, 3, 3, false},
        {"state 5", kSys, ms, 0, 5, 0, 2, 3, false},
        {"state 9 in a record of 8 bytes", kSys, ms, 0, 9, 0, 2, 3, false, 8},
    };
    uint32_t id = 0x100;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Kind k = withId(r.base, r.base.type == DumpSummary::HWU ? 0x01000000 | ++id : ++id);
        bool withRegion = (r.flags & kMainStore) != 0;
        makeDump(k, r.flags, withRegion ? kOneRegion : std::vector<Region>{}, r.privateFlags);
        setSystem(r.state, r.mode, r.mainStoreWord, r.stateRecordBytes);
        clearMailboxLog();
        uint32_t total = k.fileHeaderSize + 1024 + (withRegion ? 32 + kRegionSize : 0);
        Extracted x = extract(k.id, 0, total);
        if (r.refusedAt) {
            ASSERT_TRUE(x.failed);
            uint16_t reason = r.refusedAt == 1 ? 0xF014 : 0xF011;
            uint32_t flagsWord = r.refusedAt == 1 ? 0 : r.flags;
            EXPECT_EQ(x.entry["rc"], 6);
            EXPECT_EQ(x.entry["severity"], 0);
            EXPECT_EQ(x.entry["srcs"][0]["words"],
                      Json::array({word(0x0121, reason, r.refusedAt), k.id, flagsWord, 0}));
            EXPECT_EQ(x.length, 0u);
            continue;
        }
        ASSERT_FALSE(x.failed) << x.entry.dump();
        ASSERT_EQ(x.length, total);
        EXPECT_TRUE(!withRegion || x.bytes.substr(total - kRegionSize) == mainStore(kRegionAt, kRegionSize));
        EXPECT_EQ(!platsim::mailboxRequests().empty(), r.tce);
    }
}

TEST_F(ExtractDriver, TceChoiceIsProcessWideAndKeptByHardwareUnitDumps) {
    Kind sys = mainStoreDump(kSys, 0x11);
    Kind hwu = withId(kHwu, 0x01000022);
    makeDump(hwu, kComplete | kMainStore, {{0x8000, 0x40}});
    uint32_t hwuRegion = 160 + 1024 + 32;
    setSystem(9, 0);
    ASSERT_FALSE(readRegion(sys).failed);
    clearMailboxLog();
    ASSERT_FALSE(extract(hwu.id, hwuRegion, 0x40).failed);
    EXPECT_FALSE(platsim::mailboxRequests().empty()) << "read by TCE as the system dump chose";

    DumpExtractData another;  // resets the choice for the whole process
    clearMailboxLog();
    Extracted x = extract(hwu.id, hwuRegion, 0x40);
    ASSERT_FALSE(x.failed);
    EXPECT_EQ(x.bytes, mainStore(0x8000, 0x40));
    EXPECT_TRUE(platsim::mailboxRequests().empty()) << "read by the engine";
}

TEST_F(ExtractDriver, DriverFailuresCarryTheirReportingPoints) {
    const uint32_t id = 0x1A;
    struct Row {
        const char* name;
        std::function<void()> setup;
        uint64_t offset;
        uint32_t rc;
        uint8_t callPoint;      // under module 0x0221, 0: none expected
        uint32_t callWord;
        uint32_t addedSrcWord;  // location word of the SRC added, 0: none
        bool informational;
    };
    const Row rows[] = {
        {"semaphore init", [] { platsim::setFault("UtilSemaphore.init", "match=dump.3 rc=0x77"); }, 0,
         0x77, 0x10, 0, 0, true},
        {"semaphore down", [] { platsim::setFault("UtilSemaphore.Down", "match=dump.3 rc=0x78"); }, 0,
         0x78, 0x11, 0, 0, true},
        {"no such dump", [] {}, 0, 0x1A, 0x20, id, 0, false},
        {"operating mode unreadable", [&] { create(kSys); platsim::removeRegistry("iplp/SysOpMode"); },
         0, 2, 0, 0, word(0x0221, 0xF0F0, 0x13), false},
        {"state record unreadable", [&] { create(kSys); platsim::removeRegistry("smgr/StateData"); },
         100, 2, 0, 0, word(0x0121, 0xF0F0, 2), false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ::unlink(primary(summarytest::pathOf(kSys)).c_str());
        platsim::clearFaults();
        setSystem(11, 2);
        r.setup();
        size_t before = errlog().size();
        Extracted x = extract(id, r.offset, 64);
        ASSERT_TRUE(x.failed);
        EXPECT_EQ(x.length, 0u);
        EXPECT_EQ(x.entry["rc"], r.rc);
        EXPECT_TRUE(!r.callPoint || hasCallPoint(x.entry, 0x0221, r.callPoint, r.callWord));
        EXPECT_TRUE(!r.addedSrcWord || locationWord(x.entry, x.entry["srcs"].size() - 1) == r.addedSrcWord);
        EXPECT_TRUE(!r.informational || x.entry["severity"] == 0);
        std::vector<Json> logs = errlog();
        ASSERT_EQ(logs.size(), before + (r.offset == 0 ? 1 : 0)) << "the start record alone";
        EXPECT_TRUE(r.offset != 0 || logs.back()["srcs"][0]["words"] == Json::array({word(0x0221, 0xF01F, 4), id, 0, 0}));
    }
}

TEST_F(ExtractDriver, DumpVanishedBetweenTwoCallsIsInvalidatedAndUpFailureIsOnlyCommitted) {
    makeDump(kSys, kComplete);
    setSystem(11, 2);
    platsim::setFault("UtilSemaphore.Up", "match=dump.3 count=1");
    Extracted first = extract(kSys.id, 0, 100);
    ASSERT_FALSE(first.failed) << "a failed give-back leaves the result alone";
    const std::vector<uint8_t> file = primaryBytes(kSys);
    EXPECT_EQ(first.bytes, std::string(file.begin(), file.begin() + 100));
    EXPECT_TRUE(hasCallPoint(errlog().back(), 0x0221, 0x12, 0));

    ::unlink(primary(summarytest::pathOf(kSys)).c_str());
    Extracted x = extract(kSys.id, 100, 100);
    ASSERT_TRUE(x.failed);
    EXPECT_EQ(x.entry["rc"], 0x1B);
    EXPECT_EQ(x.length, 0u);
    EXPECT_TRUE(hasCallPoint(x.entry, 0x0221, 0x20, kSys.id));
    EXPECT_EQ(testsupport::userDataBytes(x.entry, x.entry["userData"].size() - 1),
              summarytest::keyValue("Dump invalidated while extracting, id:", "0x1a"));
}

TEST_F(ExtractDriver, AResourceDumpsIdNamesNoDumpToExtract) {
    makeDump(kRsc, kComplete);
    setSystem(11, 2);
    ASSERT_TRUE(testsupport::fileExists(primary(summarytest::pathOf(kRsc))));
    Extracted start = extract(kRsc.id, 0, 100);
    ASSERT_TRUE(start.failed);
    EXPECT_EQ(start.entry["rc"], 0x1A);
    EXPECT_EQ(start.length, 0u);
    EXPECT_TRUE(hasCallPoint(start.entry, 0x0221, 0x20, kRsc.id));

    Extracted later = extract(kRsc.id, 10, 100);
    ASSERT_TRUE(later.failed);
    EXPECT_EQ(later.entry["rc"], 0x1B);
    EXPECT_EQ(later.length, 0u);
    EXPECT_EQ(testsupport::userDataBytes(later.entry, later.entry["userData"].size() - 1),
              summarytest::keyValue("Dump invalidated while extracting, id:", "0xc3d"));
    EXPECT_TRUE(testsupport::fileExists(primary(summarytest::pathOf(kRsc))))
        << "the resource dump itself is left alone";
}

TEST_F(ExtractDriver, StreamEndAndZeroLengthRequests) {
    makeDump(kSys, kComplete);
    setSystem(11, 2);
    const std::vector<uint8_t> file = primaryBytes(kSys);
    const uint32_t total = 1232;
    struct Row {
        uint64_t offset;
        uint32_t length, delivered;
    };
    for (const Row& r : {Row{total, 10, 0}, Row{1200, 100, 32}, Row{5000, 1, 0}, Row{100, 0, 0},
                         Row{total, 0, 0}}) {
        SCOPED_TRACE(r.offset);
        Extracted x = extract(kSys.id, r.offset, r.length);
        EXPECT_EQ(x.length, r.delivered);
        EXPECT_EQ(x.bytes, std::string(file.begin() + std::min<uint64_t>(r.offset, total),
                                       file.begin() + std::min<uint64_t>(r.offset, total) + r.delivered));
        ASSERT_EQ(x.failed, r.length != 0);
        if (x.failed) {
            EXPECT_EQ(x.entry["srcs"][0]["words"],
                      Json::array({word(0x0221, 0xF00F, 5), r.offset, total, r.length}));
        }
    }

    // An empty file block still wanted is opened: a missing one fails.
    ::unlink(primary("/plat_dump/0000001A.SysTOC").c_str());
    Extracted x = extract(kSys.id, 1000, 300);
    ASSERT_TRUE(x.failed);
    EXPECT_EQ(x.length, 232u) << "the bytes before the failed block";
    EXPECT_TRUE(hasCallPoint(x.entry, 0x011E, 1, 0));
    EXPECT_TRUE(hasCallPoint(x.entry, 0x0221, 0x1F, 0));
    EXPECT_EQ(x.entry["traces"].back()["buffer"], "dump");
}

TEST_F(ExtractDriver, FailedTceReadsAreCountedAndReportedAsUnreachableMainStore) {
    Kind k = mainStoreDump(kSys, 0x1A);
    setSystem(9, 0);
    platsim::setFault("mboxFetchCecData");
    for (uint32_t n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        size_t before = errlog().size();
        Extracted x = extract(k.id, kRegionInStream - 8, 0x20);
        ASSERT_TRUE(x.failed);
        EXPECT_EQ(x.entry["srcs"][0]["words"], Json::array({word(0x0221, 0xF011, 7), 0, 0, 0}));
        EXPECT_EQ(x.length, 8u) << "the MDRT's last bytes came before the failed block";
        std::vector<Json> logs = errlog();
        ASSERT_EQ(logs.size(), before + 1);
        EXPECT_TRUE(hasCallPoint(logs.back(), 0x0221, 0x1F, 0)) << "the block's entry committed";
        EXPECT_EQ(fieldOf(k, kTceErrorsAt), n);
    }
    platsim::setFault("mboxFetchCecData", "mode=status count=1");
    Extracted x = readRegion(k);
    ASSERT_FALSE(x.failed);
    EXPECT_EQ(x.bytes, mainStore(kRegionAt + 0x10, 0x20));
    EXPECT_EQ(fieldOf(k, kTceErrorsAt), 3u) << "a retried answer is no failure";
    EXPECT_TRUE(platsim::iplTypeRequests().empty());
}

TEST_F(ExtractDriver, CheckstopIplOutcomes) {
    // Hardware-unit dumps reach the engine in any state and mode.
    struct Row {
        const char* name;
        Kind base;
        std::function<void()> setup;
        uint16_t moreFlags;
        uint32_t state;
        uint8_t mode;
        uint32_t privateFlags;
        size_t requests;
        uint32_t rc;  // of the third failure's entry; 6: replaced
    };
    const Row rows[] = {
        {"granted", kSys, [] {}, 0, 11, 2, 0, 1, 6},
        {"refused", kSys, [] { platsim::setIplTypeReply(5); }, 0, 11, 2, 0, 1, 2},
        {"request failed", kSys, [] { platsim::setFault("smgrIplTypeRequest"); }, 0, 11, 2, 0, 1, 0x12},
        {"main store withdrawn", kSys, [] {}, kWithdraw, 11, 2, 0, 0, 0xB},
        {"mode 4 with leave", kSys, [] {}, 0, 11, 4, 0x2, 1, 6},
        {"mode 4 without leave", kHwu, [] {}, 0, 11, 4, 0, 0, 6},
        {"mode 3", kHwu, [] {}, 0, 11, 3, 0x2, 0, 6},
        {"state 5", kHwu, [] {}, 0, 5, 2, 0, 0, 6},
    };
    uint32_t id = 0x01000200;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ::unlink((root() + "/sim/smgr.log").c_str());
        platsim::clearFaults();
        platsim::setIplTypeReply(2);
        Kind k = mainStoreDump(r.base, r.base.type == DumpSummary::HWU ? ++id : ++id & 0xFFFF,
                               r.moreFlags, r.privateFlags);
        setSystem(r.state, r.mode);
        r.setup();
        platsim::setFault("dmaeRawRead");
        expectReplaced(readRegion(k));
        expectReplaced(readRegion(k));
        EXPECT_TRUE(platsim::iplTypeRequests().empty() && !(dumpFlags(k) & kIplRequested)) << "not before the third";
        size_t before = errlog().size();
        Extracted x = readRegion(k);
        ASSERT_TRUE(x.failed);
        EXPECT_EQ(x.entry["rc"], r.rc);
        EXPECT_EQ(fieldOf(k, kDmaErrorsAt), 3u);
        EXPECT_EQ(platsim::iplTypeRequests().size(), r.requests);
        EXPECT_EQ((dumpFlags(k) & kIplRequested) != 0, r.rc == 6 && r.requests == 1);
        if (r.rc != 6) {
            EXPECT_EQ(x.entry["traces"].back()["buffer"], "dump");
        }
        if (r.rc == 2) {
            EXPECT_EQ(x.entry["srcs"].back()["words"], Json::array({word(0x0421, 0xF012, 9), k.id, 5, 0}));
        }
        if (r.rc == 0x12) {
            ASSERT_EQ(errlog().size(), before + 1) << "the request's own entry";
            EXPECT_EQ(errlog().back()["srcs"].back()["words"],
                      Json::array({word(0x0421, 0xF0ED, 8), k.id, 0, 0}));
        }
        if (r.rc == 0xB) {
            EXPECT_EQ(dumpFlags(k) & kMainStore, 0) << "main store withdrawn from the dump";
            EXPECT_FALSE(testsupport::fileExists(primary(nodalPath(k, "MDRT"))));
        }
        if (r.rc == 6 && r.requests == 1) {
            EXPECT_EQ(platsim::iplTypeRequests(), std::vector<std::string>{"20000904 F000 -> 2"});
            char status[40];
            std::snprintf(status, sizeof status, "/plat_dump/dumpstatus.%08X", k.id);
            EXPECT_EQ(testsupport::readFile(primary(status)).rfind("CHECKSTOPIPL_CALLED,", 0), 0u);
            expectReplaced(readRegion(k));
            EXPECT_EQ(fieldOf(k, kDmaErrorsAt), 4u);
            EXPECT_EQ(platsim::iplTypeRequests().size(), 1u) << "one request for the dump";

            // An entry that already says main store is unreachable is returned as it is.
            platsim::setFault("dmaeRawRead", "rc=6 reason=0xF011");
            before = errlog().size();
            x = readRegion(k);
            ASSERT_TRUE(x.failed);
            EXPECT_NE(locationWord(x.entry), word(0x0221, 0xF011, 7));
            EXPECT_TRUE(hasCallPoint(x.entry, 0x0221, 0x1F, 0x10));
            EXPECT_EQ(errlog().size(), before);
        }
    }
}

TEST_F(ExtractDriver, ExtractionWaitsWhileAnotherProcessHoldsTheSemaphore) {
    makeDump(kSys, kComplete);
    setSystem(11, 2);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string marker = root() + "/released";
    pid_t child = testsupport::forkChild([&] {
        UtilSemaphore sem;
        if (sem.init("dump", 3, 1) || sem.Down(1)) return 1;
        char c = 1;
        if (::write(ready[1], &c, 1) != 1) return 2;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testsupport::writeFile(marker, "x");
        return sem.Up(1) ? 3 : 0;
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    Extracted x = extract(kSys.id, 0, 64);
    EXPECT_TRUE(testsupport::fileExists(marker)) << "the call ran while the holder held it";
    EXPECT_FALSE(x.failed);
    EXPECT_EQ(testsupport::waitChild(child), 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
