// The system section: the files named after the dump and recorded in its
// summary, the console and file-system entries, registry values, files
// and error logs as documented records; failures of the console scan, of
// the saves and of a full file system.
#include <unistd.h>

#include "dump/nodal/tests/nodalTest.h"
#include "platdump/dumpErrl.h"
#include "platdump/dumpSystemNodal.h"

using namespace nodaltest;
using summarytest::kSys;
using testsupport::locationWord;
using testsupport::taken;

namespace {

struct Console { std::string name, reply; unsigned state; };
const std::string kLongName = "console-with-a-name-of-forty-characters!";
const std::string kLongReply = std::string(60, 'r');
const Console kOne{"mc-alpha", "ready", 1}, kLong{kLongName, kLongReply, 2}, kFive{"mc-five", "", 4};
const Bytes kManaged = Bytes().u32(1).u32(3).u32(2).u32(5).u32(0);
// Registry values: names of 15, 8 and 10 characters; values of 4, 5 and 0 bytes.
const char* const kPolicy[2] = {"dump/DumpPolicy", "\x01\x02\x03\x04"}, *const kOem[2] = {"fstp/Oem", "ABCDE"},
                  *const kEmpty[2] = {"dump/Empty", ""};

// The 812-byte console entry: managed info, the consoles found, zeros.
std::vector<uint8_t> consoleImage(const Bytes& managed, const std::vector<Console>& found) {
    Bytes b = managed;
    for (const Console& c : found)
        b.text("KEL ").field(c.name.substr(0, 31), 32).field(c.reply.substr(0, 47), 48).u8(c.state).fill(3);
    return b.fill(88 * (9 - found.size())).bytes();
}

// A registry pair record, from the documented layout.
std::vector<uint8_t> pairRecord(const std::string& name, const std::string& value) {
    size_t n = (name.size() + 4) / 4 * 4;
    return Bytes().u32(n).field(name, n).u32(value.size()).text(value).fill((4 - value.size() % 4) % 4).bytes();
}

// The last two call points of an entry, each as module id << 8 | location.
std::vector<unsigned> lastSites(const Json& j) {
    std::vector<unsigned> sites;
    for (const Json& c : j["callPoints"])
        sites.push_back((c["function"].get<unsigned>() | c["file"].get<unsigned>()) << 8 | c["location"].get<unsigned>());
    return std::vector<unsigned>(sites.size() < 2 ? sites.begin() : sites.end() - 2, sites.end());
}

class SystemNodal : public NodalTest {
protected:
    std::unique_ptr<DumpSummary> dump;
    ErrlEntry* log = nullptr;  // an error log to save

    void SetUp() override {
        NodalTest::SetUp();
        toc = "/plat_dump/0000001A.SysTOC", data = "/plat_dump/0000001A.SysData";
        create(kSys);
        dump = SummaryTest::open(kSys);
        log = dumpCreateErrorLog(5, 0xF00B, 0x0199, 1, 7, 8, 9);
        platsim::setStatfs(1000, 333);  // 67 % used
        platsim::setManagedInfo("managed=1 consoles=3 master=2 changes=5");
        // Consoles "KEL " in state 1, 2 or 4 of sessions 0 to 8 count; the
        // reply's text starts at its fifth byte; session 5 never answers.
        struct { unsigned index; const char* type; unsigned state; std::string name, reply; } sessions[] = {
            {0, "KEL", 1, "mc-alpha", "ready"}, {1, "VTY", 1, "vterm", "no"},  {2, "KEL", 3, "mc-idle", "no"},
            {3, "KEL", 2, kLongName, kLongReply}, {5, "KEL", 4, "mc-five", ""}, {9, "KEL", 1, "mc-nine", "no"}};
        for (const auto& s : sessions) {
            platsim::setConsoleSession(s.index, s.type, s.state, s.name);
            if (s.index != 5) platsim::setConsoleReply(s.index, std::string("\0\0\0\1", 4) + s.reply);
        }
        for (const char* const* kv : {kPolicy, kOem, kEmpty}) platsim::setRegistry(kv[0], kv[1]);
        testsupport::writeFile(primary("/registry/note.txt"), "7 bytes");
    }
    void TearDown() override {
        delete log;  // always the caller's
        NodalTest::TearDown();
    }
    // A new section over no files; the constructor must succeed.
    std::unique_ptr<DumpSystemNodal> section() {
        for (const std::string& f : {primary(toc), primary(data), backup(toc), backup(data)}) ::unlink(f.c_str());
        ErrlEntry* errl = nullptr;
        std::unique_ptr<DumpSystemNodal> s(new DumpSystemNodal(dump.get(), errl));
        EXPECT_EQ(errl, nullptr);
        return s;
    }
};

TEST_F(SystemNodal, TheGatheredSectionHoldsTheDocumentedRecords) {
    std::unique_ptr<DumpSystemNodal> s = section();
    EXPECT_EQ(s->gatherSystemNodalInformation(), nullptr);
    for (const char* const* kv : {kPolicy, kOem, kEmpty}) EXPECT_TRUE(s->SaveRegistryNVPair(kv[0], true));
    EXPECT_TRUE(s->SaveRegistryNVPair("/registry/note.txt", false));
    EXPECT_TRUE(s->SaveErrorToDump(log, 0x12345678));
    s.reset();
    std::vector<uint8_t> flat(log->flattenedSize());
    ASSERT_EQ(log->flatten(flat.data(), uint32_t(flat.size())), 0u);

    struct Item { uint32_t id; std::vector<uint8_t> bytes; } items[] = {
        {0xF1190000, consoleImage(kManaged, {kOne, kLong, kFive})},
        {0xF00A0000, Bytes().u32(67)},
        {0xF0090000, pairRecord(kPolicy[0], kPolicy[1])}, {0xF0090000, pairRecord(kOem[0], kOem[1])},
        {0xF0090000, pairRecord(kEmpty[0], kEmpty[1])},
        {0xF0090000, pairRecord("/registry/note.txt", "7 bytes")},
        {0x12345678, flat},
    };
    Bytes entries, expectedData;
    for (const Item& i : items) {
        entries.u32(i.id).u32(expectedData.size()).u32(i.bytes.size());
        summarytest::bytes(expectedData, i.bytes);
    }
    const uint32_t tocSize = 48 + 12 * 7;
    expectedData.fill((16 - (tocSize + expectedData.size()) % 16) % 16);
    Bytes expectedToc = header("SYSDATA", 1, uint32_t(tocSize + expectedData.size()), 0xFFFF,
                               uint32_t(expectedData.size()), 7, 12);
    summarytest::bytes(expectedToc, entries);
    EXPECT_EQ(pair().toc, expectedToc.bytes());
    EXPECT_EQ(pair().data, expectedData.bytes());
    std::vector<uint8_t> summary = primaryBytes(kSys);
    EXPECT_EQ(summarytest::slice(summary, 3952, 64), Bytes().field(toc, 64).bytes());
    EXPECT_EQ(summarytest::slice(summary, 4020, 64), Bytes().field(data, 64).bytes());

    // One status request to each console found: "index/socket type/timeout", '?' when the image differs.
    std::vector<uint8_t> request = Bytes().u32(0xD000).u16(7).u16(0x1002).u8(0x08).u8(0).u16(0).u32(0);
    std::string sent;
    for (const platsim::ConsoleExchange& x : platsim::consoleExchanges())
        sent += std::to_string(x.index) + "/" + std::to_string(x.socketType) + "/" + std::to_string(x.timeout) +
                (x.request == request ? " " : "? ");
    EXPECT_EQ(sent, "0/1/2 3/1/2 5/1/2 ");
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SystemNodal, ConsoleFailuresLeavePartialRecordsAndNoLog) {
    const Console kOneMute{"mc-alpha", "", 1};
    const Bytes kZero = Bytes().fill(20);
    struct Row { const char *fault, *params; const Bytes& managed; std::vector<Console> found; };
    std::vector<Row> rows = {
        {"kelxQueryKelManagedInfo", "", kZero, {kOne, kLong, kFive}},
        {"netcSessionEntryFileLock", "", kManaged, {}},
        {"NetcSessionEntry.FindSessionEntry", "match=[0]", kManaged, {kLong, kFive}},
        {"netcSessionEntryFileUnLock", "", kManaged, {kOne, kLong, kFive}},
    };
    for (const char* step : {"NetcAddress", "netcConnect", "netcSendRecv", "netcClose", ""})
        rows.push_back({step, "match=[0]", kManaged, {kOneMute, kLong, kFive}});
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        std::unique_ptr<DumpSystemNodal> s = section();
        if (*r.fault)
            platsim::setFault(r.fault, r.params);
        else
            platsim::setConsoleReply(0, std::string("\0\0\0\1", 4));  // an answer without text
        EXPECT_EQ(s->gatherSystemNodalInformation(), nullptr);
        platsim::clearFaults();
        s.reset();
        EXPECT_EQ(summarytest::slice(pair().data, 0, 812), consoleImage(r.managed, r.found));
        EXPECT_TRUE(errlog().empty());
    }
}

TEST_F(SystemNodal, AFullFileSystemReachesTheCallerThroughTheSummary) {
    std::unique_ptr<DumpSystemNodal> s = section();
    platsim::setStatfs(1000, 70);  // at the floor: nothing more is written
    // The entries' writes fall short, which is only traced.
    EXPECT_EQ(s->gatherSystemNodalInformation(), nullptr);
    EXPECT_FALSE(s->SaveRegistryNVPair("dump/DumpPolicy", true));
    EXPECT_FALSE(s->SaveErrorToDump(log, 1));
    s.reset();
    EXPECT_EQ(dump->getHWErrorFlags(), 0x8200);
    EXPECT_EQ(pair().toc, header("SYSDATA", 1, 48, 0xFFFF, 0, 0, 12).bytes());
    EXPECT_TRUE(pair().data.empty());
    EXPECT_EQ(errlog().size(), 1u);  // the summary's, for bit 0x0200

    // Once it has filled up, a failed console entry is returned, not committed.
    platsim::setStatfs(1000, 333);
    s = section();
    platsim::setFault("UtilFile.write", "match=SysData count=1");
    EXPECT_EQ(lastSites(taken(s->gatherSystemNodalInformation())), (std::vector<unsigned>{0x031522, 0x02150B}));
    EXPECT_EQ(pair().entryCount(), 0u);
    EXPECT_EQ(errlog().size(), 1u);
}

TEST_F(SystemNodal, FailedReadsAndWritesSaveNothingAndOnlyWriteFailuresWithALogAreCommitted) {
    std::unique_ptr<DumpSystemNodal> s = section();
    EXPECT_FALSE(s->SaveRegistryNVPair("dump/Missing", true));
    EXPECT_FALSE(s->SaveRegistryNVPair("/registry/missing.txt", false));
    EXPECT_FALSE(s->SaveRegistryNVPair(nullptr, true));
    ErrlEntry* none = nullptr;
    EXPECT_FALSE(s->SaveErrorToDump(none, 1));
    EXPECT_EQ(s->GetKELInfo(nullptr), nullptr);
    platsim::setFault("UtilReg.read", "after=1 count=1");  // the value, after its length
    EXPECT_FALSE(s->SaveRegistryNVPair("dump/DumpPolicy", true));
    platsim::setFault("ErrlEntry.flatten");
    EXPECT_FALSE(s->SaveErrorToDump(log, 1));
    platsim::clearFaults();
    EXPECT_TRUE(errlog().empty());

    platsim::setFault("UtilFile.write", "match=SysData");
    EXPECT_FALSE(s->SaveRegistryNVPair("dump/DumpPolicy", true));
    EXPECT_TRUE(errlog().empty());
    EXPECT_EQ(s->gatherSystemNodalInformation(), nullptr);  // the file-system entry is only traced
    EXPECT_FALSE(s->SaveErrorToDump(log, 1));
    platsim::clearFaults();
    s.reset();
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(lastSites(logs[0]), (std::vector<unsigned>{0x031522, 0x02150B}));
    EXPECT_EQ(lastSites(logs[1]).back(), 0x041519u);
    EXPECT_EQ(checkConsistent(pair()), std::vector<uint32_t>{});
}

TEST_F(SystemNodal, SectionFilesThatCannotBeCreatedAreReportedAndNotNamed) {
    platsim::setFault("UtilFile.Open", "match=SysData");
    ErrlEntry* errl = nullptr;
    DumpSystemNodal(dump.get(), errl);
    EXPECT_EQ(lastSites(taken(errl)), (std::vector<unsigned>{0x030F05, 0x011501}));
    EXPECT_EQ(summarytest::slice(primaryBytes(kSys), 3952, 132), Bytes().fill(132).bytes());
    DumpSystemNodal(nullptr, errl);
    EXPECT_EQ(locationWord(taken(errl)), 0x01150B02u);
}

}  // namespace
