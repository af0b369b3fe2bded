// The system section: the files named after the dump and recorded in its
// summary, the console and file-system entries, registry values, files and
// error logs as documented records; the failure table of the section.
#include <unistd.h>

#include "platdump/dumpErrl.h"
#include "platdump/dumpSystemNodal.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

struct Console { std::string name, reply; unsigned state; };
const std::string kLongName = "console-with-a-name-of-forty-characters!";
const Console kOne{"console one", "ready", 1}, kLong{kLongName, std::string(60, 'r'), 2}, kFive{"console five", "", 4};
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

class SystemNodal : public HeldDumpTest {
protected:
    const std::string toc = "/plat_dump/0000001A.SysTOC", data = "/plat_dump/0000001A.SysData";
    ErrlEntry* log = nullptr;  // an error log to save

    void SetUp() override {
        HeldDumpTest::SetUp();
        log = dumpCreateErrorLog(5, 0xF00B, 0x0199, 1, 7, 8, 9);
        platsim::setStatfs(1000, 333);  // 67 % used
        platsim::setManagedInfo("managed=1 consoles=3 master=2 changes=5");
        // Consoles "KEL " in state 1, 2 or 4 of sessions 0 to 8 count; the
        // reply's text starts at its fifth byte; session 5 never answers.
        struct { unsigned index; const char* type; unsigned state; std::string name, reply; } sessions[] = {
            {0, "KEL", 1, kOne.name, "ready"}, {1, "VTY", 1, "vterm", "no"}, {2, "KEL", 3, "console idle", "no"},
            {3, "KEL", 2, kLongName, kLong.reply}, {5, "KEL", 4, kFive.name, ""}, {9, "KEL", 1, "console nine", "no"}};
        for (const auto& s : sessions) {
            platsim::setConsoleSession(s.index, s.type, s.state, s.name);
            if (s.index != 5) platsim::setConsoleReply(s.index, std::string("\0\0\0\1", 4) + s.reply);
        }
        for (const char* const* kv : {kPolicy, kOem, kEmpty}) platsim::setRegistry(kv[0], kv[1]);
        writeFile(primary("/registry/note.txt"), "7 bytes");
    }
    void TearDown() override {
        iv_section.reset();
        delete log;  // always the caller's
        log = nullptr;
        HeldDumpTest::TearDown();
    }
    NodalPair pair() const { return readPair(toc, data); }
    // A new section over no files; the constructor must succeed.
    DumpSystemNodal& section() {
        for (const std::string& f : {primary(toc), primary(data), backup(toc), backup(data)}) ::unlink(f.c_str());
        ErrlEntry* errl = nullptr;
        iv_section.reset(new DumpSystemNodal(s.get(), errl));
        EXPECT_EQ(signature(errl), "");
        return *iv_section;
    }
    std::unique_ptr<DumpSystemNodal> iv_section;
};

TEST_F(SystemNodal, TheGatheredSectionHoldsTheDocumentedRecords) {
    DumpSystemNodal& n = section();
    EXPECT_EQ(n.gatherSystemNodalInformation(), nullptr);
    for (const char* const* kv : {kPolicy, kOem, kEmpty}) EXPECT_TRUE(n.SaveRegistryNVPair(kv[0], true));
    EXPECT_TRUE(n.SaveRegistryNVPair("/registry/note.txt", false));
    EXPECT_TRUE(n.SaveErrorToDump(log, 0x12345678));
    iv_section.reset();
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
        for (uint8_t b : i.bytes) expectedData.u8(b);
    }
    const uint32_t tocSize = 48 + 12 * 7;
    expectedData.fill((16 - (tocSize + expectedData.size()) % 16) % 16);
    Bytes expectedToc = nodalHeader("SYSDATA", 1, uint32_t(tocSize + expectedData.size()), 0xFFFF,
                                    uint32_t(expectedData.size()), 7, 12);
    for (uint8_t b : entries.bytes()) expectedToc.u8(b);
    EXPECT_EQ(pair().toc, expectedToc.bytes());
    EXPECT_EQ(pair().data, expectedData.bytes());
    EXPECT_EQ(slice(bytesOf(kSys), 3952, 64), Bytes().field(toc, 64).bytes());
    EXPECT_EQ(slice(bytesOf(kSys), 4020, 64), Bytes().field(data, 64).bytes());

    // One status request to each console found: "index/socket type/timeout", '?' when the image differs.
    std::vector<uint8_t> request = Bytes().u32(0xD000).u16(7).u16(0x1002).u8(0x08).u8(0).u16(0).u32(0);
    std::string sent;
    for (const platsim::ConsoleExchange& x : platsim::consoleExchanges())
        sent += std::to_string(x.index) + "/" + std::to_string(x.socketType) + "/" + std::to_string(x.timeout) +
                (x.request == request ? " " : "? ");
    EXPECT_EQ(sent, "0/1/2 3/1/2 5/1/2 ");
}

TEST_F(SystemNodal, FailureTable) {
    auto gather = [this] { return section().gatherSystemNodalInformation(); };
    // The console entry as the section leaves it.
    auto consoles = [this](const Bytes& managed, std::vector<Console> found) {
        return [=] {
            iv_section.reset();
            EXPECT_EQ(slice(pair().data, 0, 812), consoleImage(managed, found));
        };
    };
    const Console oneMute{kOne.name, "", 1};
    auto exchange = [=](const char* step) {
        return FailureRow{std::string("console exchange: ") + step + " fails", fault(step, "match=[0]"), gather, "", {},
                          consoles(kManaged, {oneMute, kLong, kFive})};
    };
    const std::string written = " kv=Writing to File:?:" + data + " kv=iv_DataFile:?:" + data;
    const std::string consoleEntry =
        "platform:1103 090F0B10 4 0 0 rc=2 sev=40 cp=080F:E:0 cp=0315:22:0 cp=0215:B:0" + written;
    auto failed = [](std::function<bool()> save) {
        return [save] {
            EXPECT_FALSE(save());
            return static_cast<ErrlEntry*>(nullptr);
        };
    };
    auto construct = [this](bool held) {  // over the held summary, or none
        return [this, held] {
            ErrlEntry* errl = nullptr;
            DumpSystemNodal(held ? s.get() : nullptr, errl);
            return errl;
        };
    };
    const auto savePolicy = failed([this] { return section().SaveRegistryNVPair("dump/DumpPolicy", true); });
    expectRows({
        {"the section files cannot be created", fault("UtilFile.Open", "match=SysData"), construct(true),
         "platform:1101 0B0F0B14 1 0 0 rc=2 sev=40 cp=030F:5:0 cp=0115:1:0 kv=Create new file:?:" + data,
         {}, [this] { EXPECT_EQ(slice(bytesOf(kSys), 3952, 132), Bytes().fill(132).bytes()) << "not named"; }},
        {"no summary", nullptr, construct(false), "01150B02 0 0 0 rc=1 sev=20 tr=dump", {}},
        {"the console entry's write fails", fault("UtilFile.write", "match=SysData count=1"), gather, "", {consoleEntry},
         [this] {
             iv_section.reset();
             EXPECT_EQ(pair().entryCount(), 1u);
             EXPECT_EQ(pair().word(0, 0), 0xF00A0000u) << "the file-system entry alone";
         }},
        {"the console entry's write fails once the file system filled up", [this] {
             platsim::setStatfs(1000, 70);  // at the floor: nothing more is written, which is only traced
             EXPECT_EQ(section().gatherSystemNodalInformation(), nullptr);
             EXPECT_FALSE(iv_section->SaveRegistryNVPair("dump/DumpPolicy", true));
             EXPECT_FALSE(iv_section->SaveErrorToDump(log, 1));
             iv_section.reset();
             EXPECT_EQ(pair().toc, nodalHeader("SYSDATA", 1, 48, 0xFFFF, 0, 0, 12).bytes());
             EXPECT_TRUE(pair().data.empty());
             platsim::setStatfs(1000, 333);
             platsim::setFault("UtilFile.write", "match=SysData count=1");
         }, gather, consoleEntry, {}},
        {"the file-system entry's write fails", fault("UtilFile.write", "match=SysData after=1 count=1"), gather, "", {}},
        {"the error log's write fails", fault("UtilFile.write", "match=SysData"),
         failed([this] { return section().SaveErrorToDump(log, 1); }), "",
         {"platform:1103 090F0B10 4 0 0 rc=2 sev=40 cp=080F:E:0 cp=0415:19:0" + written}},
        {"a registry value or file cannot be read", nullptr, failed([this] {
             DumpSystemNodal& n = section();
             return n.SaveRegistryNVPair("dump/Missing", true) || n.SaveRegistryNVPair("/registry/missing.txt", false) ||
                    n.SaveRegistryNVPair(nullptr, true);
         }), "", {}},
        {"a registry value cannot be read after its length", fault("UtilReg.read", "after=1 count=1"), savePolicy, "",
         {}},
        {"a registry pair's write fails", fault("UtilFile.write", "match=SysData"), savePolicy, "", {}},
        {"no error log, or one that cannot be flattened", fault("ErrlEntry.flatten"), failed([this] {
             ErrlEntry* none = nullptr;
             EXPECT_EQ(section().GetKELInfo(nullptr), nullptr);
             return iv_section->SaveErrorToDump(none, 1) || iv_section->SaveErrorToDump(log, 1);
         }), "", {}},
        {"the console query fails", fault("kelxQueryKelManagedInfo"), gather, "", {},
         consoles(Bytes().fill(20), {kOne, kLong, kFive})},
        {"the session table's lock fails", fault("netcSessionEntryFileLock"), gather, "", {}, consoles(kManaged, {})},
        {"a session cannot be loaded", fault("NetcSessionEntry.FindSessionEntry", "match=[0]"), gather, "", {},
         consoles(kManaged, {kLong, kFive})},
        {"the session table's unlock fails", fault("netcSessionEntryFileUnLock"), gather, "", {},
         consoles(kManaged, {kOne, kLong, kFive})},
        exchange("NetcAddress"), exchange("netcConnect"), exchange("netcSendRecv"), exchange("netcClose"),
        {"a console answers without text", [] { platsim::setConsoleReply(0, std::string("\0\0\0\1", 4)); }, gather, "",
         {}, consoles(kManaged, {oneMute, kLong, kFive})},
    });
}

}  // namespace
