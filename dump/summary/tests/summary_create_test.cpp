// Creating and opening a dump's summary: the exact bytes of each kind as
// created, and the failure table of creation, the gathering of its record,
// opening and removal, with what each failure leaves.
#include <cstring>
#include <filesystem>
#include <new>

#include "platform/srciSrc.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

// The variable parts of a new summary; the defaults are the machine's.
struct Facts {
    std::vector<uint8_t> creationTime = kClockBcd;
    std::string serial = kSerial;
    std::string typeModel = kTypeModelText, systemName = kSystemName, voskInfoData = "PAYLOAD8";
    uint8_t voskDumpContent = kVoskDumpContent;
    std::vector<uint8_t> voskInfoTime = kVoskTimeBcd, voskHrmor = {0x80, 0, 0, 0, 0x12, 0x34, 0x56, 0x78};
    uint32_t voskWord1 = kVoskWord1, voskWord2 = kVoskWord2;
};

std::string text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// The 4372 bytes of a new summary of kind k, from the documented layout,
// as the creating holder leaves it: its flush has derived totalDumpSize
// and hwDumpTotalSize from the 1024-byte summary section alone.
std::vector<uint8_t> expectedSummary(const Kind& k, const Facts& f = Facts()) {
    const bool hwu = k.type == DumpSummary::HWU, rsc = k.type == DumpSummary::RSC;
    std::string serial7 = f.serial, time;
    serial7.resize(7, '\0');
    for (size_t i = 0; i < 7; ++i) time += {char('0' + (f.creationTime[i] >> 4)), char('0' + (f.creationTime[i] & 15))};
    const std::string kind = hwu ? "HWU" : rsc ? "RSC" : "SYS";
    Bytes b;
    b.text("FILE    ").u16(64).u16(0).u32(0).u32(0).u16(1).u16(hwu ? 17 : rsc ? 0 : 15)
        .field(kind + "DUMP." + serial7 + "." + hex8(k.id) + "." + time, 40);
    struct Section { uint16_t priority; uint32_t last; uint64_t size; const char* name; };
    for (const Section& s : {Section{1, 0, 1024, "DUMP SUMMARY"}, Section{2, hwu, 0, "HARDWARE DATA"},
                             Section{2, 1, 0, "HYPERVISOR DATA"}})
        b.text("SECTION ").u16(48).u16(s.priority).u32(0).u32(s.last).u16(2).u16(0).u64(s.size).field(s.name, 16);
    b.text(kind + " DUMP");                           // 208
    b.text(text(f.creationTime));                     // 216
    b.u32(k.id).u16(0x0221).u16(1024).u64(1024);      // 224, 228, 230, 232
    b.field(f.typeModel, 32).field(f.systemName, 32); // 240, 272
    b.field(serial7, 7).u8(1);                        // 304, 311
    b.u32(0).u16(fileHeaderSize(k)).u16(0);           // 312, 316, 318
    b.fill(332).u32(0).fill(64);                      // 320 dumpSrc, 652, 656, 688
    b.u16(0).u16(0).u16(0).u8(0).u8(0);               // 720, 722, 724, 726, 727
    b.u64(0).fill(16);                                // 728, 736, 744
    b.field(f.voskInfoData, 8).fill(2);               // 752, 760
    b.u8(0).u8(f.voskDumpContent).fill(2);            // 762, 763, 764
    b.u16(0).fill(4).u32(0).u32(1024).u32(0);         // 766, 768, 772, 776, 780
    b.u64(0).u64(0).text(text(f.voskInfoTime));       // 784, 792, 800
    b.fill(8).u32(0).u32(0).fill(8).text(text(f.voskHrmor));  // 808, 816, 820, 824, 832
    b.u32(f.voskWord1).u32(f.voskWord2).fill(384);    // 840, 848
    b.fill(4288 - 1232).field(summaryPath(k), 64).fill(20);  // names: only summaryFileName
    EXPECT_EQ(b.size(), 4372u);
    return b.bytes();
}

void noVoskInfo(Facts& f) {
    f.voskInfoData = "";
    f.voskWord1 = f.voskWord2 = 0;
    f.voskInfoTime = {0x19, 0x70, 0x01, 0x01, 0, 0, 0, 0};
}
void deadbeef(Facts& f) {
    noVoskInfo(f);
    f.voskInfoData = "DEADBEEF";
}

class SummaryCreate : public DumpTest {
protected:
    // The calls: the log returned; creation notes the summary file's size
    // as the constructor returned (-1: no file).
    std::function<ErrlEntry*()> creation() {
        return [this] {
            ErrlEntry* e = nullptr;
            DumpSummary s(kSys.type, kSys.id, e);
            iv_size = fileExists(primary(kPath)) ? long(bytesOf(kSys).size()) : -1;
            return e;
        };
    }
    ErrlEntry* tryOpen(uint32_t id, int type = 0) {
        ErrlEntry* e = nullptr;
        DumpSummary s(id, e, static_cast<DumpSummary::typeOfSummary_t>(type));
        return e;
    }
    std::function<ErrlEntry*()> opening(uint32_t id = kSys.id) { return [this, id] { return tryOpen(id); }; }
    // Checks: the summary created with substitutes (its mirroring is the
    // layout test's); its size at the constructor's return; gone from both.
    std::function<void()> createdWith(std::function<void(Facts&)> substitute) {
        return [this, substitute] {
            Facts f;
            substitute(f);
            EXPECT_EQ(bytesOf(kSys), expectedSummary(kSys, f));
        };
    }
    std::function<void()> sizeAtReturn(long size) { return [this, size] { EXPECT_EQ(iv_size, size); }; }
    std::function<void()> goneFromBoth() {
        return [this] { EXPECT_FALSE(fileExists(primary(kPath)) || fileExists(backup(kPath))); };
    }
    // Arrangements: kSys created, then bytes written into it, or a fault armed.
    std::function<void()> spoiled(size_t offset, const std::string& bytes) {
        return [this, offset, bytes] {
            create(kSys);
            patch(kSys, offset, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        };
    }
    std::function<void()> created(const char* name, const char* params) {
        return [this, name, params] {
            create(kSys);
            platsim::setFault(name, params);
        };
    }

    const std::string kPath = summaryPath(kSys);
    long iv_size = 0;
};

TEST_F(SummaryCreate, NewSummaryOfEachKindIsExactlyTheDocumentedLayout) {
    const Kind sysWithUnitId{DumpSummary::SYS, 0x0100001A};  // changes nothing of the layout
    for (const Kind& k : {kSys, kHwu, kRsc, sysWithUnitId}) {
        SCOPED_TRACE(summaryPath(k));
        create(k);
        EXPECT_EQ(bytesOf(k), expectedSummary(k));
        EXPECT_EQ(bytesOf(k, true), bytesOf(k));
        const std::string sync = "rmgrSyncFileChunk 0xF000 " + summaryPath(k);
        EXPECT_EQ(rmgrCalls(), (Lines{"rmgrInvokeRemoteCommand 0xF000 0xF000 5", sync + " 0 1232", sync + " 1232 3140",
                                      sync + " 0 208", sync + " 208 1024", sync + " 1232 3140"}))
            << "creation's two writes, then the flush of the derived sizes";
    }
}

// The file system reports full when the file names are to be written: the
// creation ends with the header and summary alone and succeeds, and a
// setter of a name then writes the whole names region (its short re-read is
// only traced), so the file grows to its full length.
TEST_F(SummaryCreate, ASummaryCreatedShortGrowsWithTheFirstNameSet) {
    platsim::setFault("statfs", "after=1 count=1");
    ErrlEntry* errl = nullptr;
    DumpSummary s(kSys.type, kSys.id, errl);
    platsim::clearFaults();
    ASSERT_EQ(signature(errl), "");
    ASSERT_EQ(bytesOf(kSys).size(), 1232u);
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    s.setMDRTFileName(mdrt, 0x40);
    std::vector<uint8_t> want = expectedSummary(kSys);
    // Not flushed yet: no derived totals.
    apply(want, {{232, Bytes().fill(8)}, {776, Bytes().fill(4)}, {4088, Bytes().field(mdrt, 64).u32(0x40)}});
    EXPECT_EQ(bytesOf(kSys), want);
    EXPECT_EQ(bytesOf(kSys, true), want);
}

TEST_F(SummaryCreate, SerialNumberVoskFileAndHypervisorModeVariants) {
    platsim::setRegistry("svpd/Raw_MachineSerialNumber", "x9z");
    setVoskFile(Bytes().u32(kVoskTime).u32(kVoskWord1).u32(kVoskWord2).text("ABCDEFGHIJKL"));
    create(kRsc);
    Facts f;
    f.serial = std::string("X9Z\0\0\0\0", 7);
    f.voskInfoData = "ABCDEFGH";  // 24 bytes: 8 of the payload
    EXPECT_EQ(bytesOf(kRsc), expectedSummary(kRsc, f));

    platsim::setRegistry("menu/HypMode", std::string(1, '\0'));
    create(kHwu);
    noVoskInfo(f);
    EXPECT_EQ(bytesOf(kHwu), expectedSummary(kHwu, f)) << "mode 0: no Vosk info";
}

// Left open: a type other than the three. Nothing is created, and the
// object answers empty, writes nothing and commits nothing, whatever its
// holder calls.
TEST_F(SummaryCreate, AnObjectOfAnUnknownTypeDoesNothing) {
    ErrlEntry* errl = nullptr;
    DumpSummary s(static_cast<DumpSummary::typeOfSummary_t>(7), kSys.id, errl);
    EXPECT_EQ(signature(errl), "01130B30 1A 7 0 rc=1 sev=20 tr=dump");
    SrciSrc src(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, 0x1A, 0, 0, EPUB_FIRMWARE_SP);
    s.setDumpFlags(0x4000);
    EXPECT_EQ(s.ReadSummary() + s.writeSummary(), 0u);
    EXPECT_EQ(s.flush(), nullptr);
    s.setDumpComplete();
    EXPECT_EQ(s.getSrc(), nullptr);
    EXPECT_EQ(s.SaveFlattenedSRC(src), nullptr);
    EXPECT_EQ(signature(tryOpen(kSys.id, 9)), "01130B31 1A 9 0 rc=1 sev=20 tr=dump");
    EXPECT_TRUE(std::filesystem::is_empty(primary("/plat_dump")));
}

const std::string kDamaged = "01130B27 1A 0 0 rc=1 sev=20 tr=dump";  // a summary not to be read
const std::string kDetails = " kv=Dump Summary Header file:?:/plat_dump/SYSDUMP.0000001A.summary";
const std::string kVosk = "0813F113 0 0 0";  // readVoskInfo's log as initSummary commits it
const std::string kVoskFile = " kv=Vosk File:?:/registry/dump/VoskInfo";
// A registry read's section: its size word, 1, the key and a NUL, padded.
std::string registryInfo(uint32_t size, const std::string& key) {
    return " DumpUtilRegistryInfo=" + hexOf(Bytes().u32(size).u32(1).text(key).u32(0));
}

TEST_F(SummaryCreate, FailureTable) {
    auto noKey = [](const char* key) { return [key] { platsim::removeRegistry(key); }; };
    expectRows({
        // Creation.
        {"create: the lock cannot be set up", fault("UtilSemaphore.init", "count=1"), creation(), "",
         {"platform:1301 rc=1 sev=40 cp=0113:21:1A"}, createdWith([](Facts&) {})},
        {"create: the file exists", [this] { writeFile(primary(kPath), "someone else's"); }, creation(),
         "01130B09 1A 0 0 rc=1 sev=20" + kDetails + " tr=dump", {},
         [this] { EXPECT_EQ(readFile(primary(kPath)), "someone else's"); }},
        {"create: open w+ fails", fault("UtilFile.Open", "count=1"), creation(),
         "01130B0A 0 0 0 rc=1 sev=20" + kDetails + " tr=dump", {}, sizeAtReturn(-1)},
        {"create: the clock is unreadable", fault("rtim_GetTimeOfDay", "status=7"), creation(), "",
         {"platform:1401 0113F10B 7 0 0 rc=2 sev=40"}, createdWith([](Facts& f) { f.creationTime.assign(8, 0x11); })},
        {"create: the serial number is unreadable", noKey("svpd/Raw_MachineSerialNumber"), creation(),
         "platform:1201 0113F00F 0 0 0 rc=2 sev=40", {}, sizeAtReturn(0)},
        // "create: initSummary returns a log" cannot happen: initSummary commits its own.
        {"create: the seek to 0 fails", fault("UtilFile.seek", "count=1 match=.summary"), creation(),
         "01130B02 0 0 0 rc=1 sev=20 tr=dump", {}, sizeAtReturn(0)},
        {"create: the write of 1232 bytes fails", fault("UtilFile.write", "count=1 match=.summary"), creation(),
         "01130B05 0 0 0 rc=1 sev=20 tr=dump", {}, sizeAtReturn(0)},
        {"create: the write of 3140 bytes fails", fault("UtilFile.write", "after=1 count=1 match=.summary"),
         creation(), "01130B0D 0 0 0 rc=1 sev=20 tr=dump", {}, sizeAtReturn(1232)},
        {"create: the seek to the names fails, its error left for the write",
         fault("UtilFile.seek", "after=2 count=1 match=.summary"), creation(), "01130B0D 0 0 0 rc=1 sev=20 tr=dump",
         {}, sizeAtReturn(4372)},
        // Gathering the record: each failure committed, creation goes on with a substitute.
        // ("readMachineTypeModelInfo returns a log" cannot happen: it commits its own.)
        {"type-model unreadable", noKey("svpd/Raw_MachineTypeModel"), creation(), "",
         {"platform:1201 0105F003 0 0 0 rc=2 sev=40" + registryInfo(8, "svpd/Raw_MachineTypeModel")},
         createdWith([](Facts& f) { f.typeModel = "    0000A1B212345678            "; })},
        {"CEC IPL type unreadable", noKey("smgr/CecIplType"), creation(), "",
         {"platform:1201 0105F004 0 0 0 rc=2 sev=40" + registryInfo(4, "smgr/CecIplType")},
         createdWith([](Facts& f) { f.typeModel = kTypeModel + "        12345678        "; })},
        {"Tov IPL type unreadable", noKey("smgr/TovIplType"), creation(), "",
         {"platform:1201 0105F005 0 0 0 rc=2 sev=40" + registryInfo(4, "smgr/TovIplType")},
         createdWith([](Facts& f) { f.typeModel = kTypeModel + "        0000A1B2        "; })},
        {"size of the system name unreadable", noKey("fstp/SystemName"), creation(), "",
         {"platform:1201 0813F011 0 0 0 rc=2 sev=40"}, createdWith([](Facts& f) { f.systemName = ""; })},
        {"system name unreadable", fault("UtilReg.read", "after=1 count=1 match=fstp/SystemName"), creation(), "",
         {"platform:1201 0813F012 0 0 0 rc=2 sev=40"}, createdWith([](Facts& f) { f.systemName = ""; })},
        {"Vosk dump content unreadable", noKey("menu/VoskDumpContent"), creation(), "",
         {"platform:1201 rc=1 sev=40 cp=0813:8:0"}, createdWith([](Facts& f) { f.voskDumpContent = 0xFF; })},
        {"time conversion fails", fault("rtim_ConvertTimeValToBCD", "after=1 status=9"), creation(), "",
         {"platform:1403 0813F114 9 0 0 rc=2 sev=40"}, createdWith([](Facts& f) { f.voskInfoTime.assign(8, 0); })},
        {"HRMOR unreadable", noKey("mbox/voskHRMOR"), creation(), "", {"platform:1201 0813F026 0 0 0 rc=2 sev=40"},
         createdWith([](Facts& f) { f.voskHrmor.assign(8, 0xFF); })},
        {"size of the hypervisor mode unreadable", noKey("menu/HypMode"), creation(), "",
         {"platform:1201 " + kVosk + " rc=2 sev=40 cp=0913:19:0"}, createdWith(noVoskInfo)},
        {"hypervisor mode unreadable", fault("UtilReg.read", "after=1 count=1 match=menu/HypMode"), creation(), "",
         {"platform:1201 " + kVosk + " rc=2 sev=40 cp=0913:1A:0"}, createdWith(noVoskInfo)},
        {"path of the Vosk file not found", fault("UtilReg.path"), creation(), "",
         {"platform:1204 0913F020 0 0 0 " + kVosk + " rc=2 sev=40"}, createdWith(deadbeef)},
        {"Vosk file missing", noKey("dump/VoskInfo"), creation(), "",
         {"09130B23 7 0 0 " + kVosk + " rc=2 sev=20" + kVoskFile + " tr=dump"}, createdWith(deadbeef)},
        {"Vosk file open fails", fault("UtilFile.Open", "match=VoskInfo"), creation(), "",
         {"platform:1101 0913F015 0 0 0 " + kVosk + " rc=2 sev=40 kv=Vosk Info file:?:/registry/dump/VoskInfo"},
         createdWith(deadbeef)},
        {"Vosk file seek fails", fault("UtilFile.seek", "match=VoskInfo"), creation(), "",
         {"platform:1104 0913F016 0 0 0 " + kVosk + " rc=2 sev=40" + kVoskFile}, createdWith(deadbeef)},
        {"Vosk file of 12 bytes", [this] { setVoskFile(Bytes().u32(kVoskTime).u32(1).u32(2)); }, creation(), "",
         {"09130B22 6 C 0 " + kVosk + " rc=2 sev=20" + kVoskFile + " tr=dump"}, createdWith(deadbeef)},
        {"Vosk file read fails", fault("UtilFile.read", "match=VoskInfo"), creation(), "",
         {"platform:1102 0913F017 14 0 0 " + kVosk + " rc=2 sev=40" + kVoskFile}, createdWith(deadbeef)},
        // Opening: a summary that cannot be read is removed from both sides.
        {"open: the lock cannot be set up", created("UtilSemaphore.init", "count=1"), opening(), "",
         {"platform:1301 rc=1 sev=40 cp=0113:24:1A"}},
        {"open: the file is missing", [this] { create(kRsc); }, opening(kRsc.id),
         "01130B06 C3D 0 0 rc=1A sev=20 kv=Dump Summary Header file:?:/plat_dump/SYSDUMP.00000C3D.summary tr=dump", {},
         [this] { EXPECT_TRUE(fileExists(primary(summaryPath(kRsc)))) << "nothing removed"; }},
        {"open: open r+ fails", created("UtilFile.Open", "count=1 match=.summary"), opening(),
         "01130B03 2 1A 0 rc=1 sev=20" + kDetails + " tr=dump", {}, goneFromBoth()},
        {"open: the read fails", created("UtilFile.read", "count=1 match=.summary"), opening(),
         "01130B18 5 1A 0 rc=1 sev=20" + kDetails + " tr=dump", {}, goneFromBoth()},
        {"open: an eye-catcher none of the three", spoiled(208, "SYS DUMX"), opening(), kDamaged, {}, goneFromBoth()},
        {"open: an empty eye-catcher", spoiled(208, std::string(8, '\0')), opening(), kDamaged, {}, goneFromBoth()},
        {"open: a short file", [this] { writeFile(primary(kPath), std::string(100, 'x')); }, opening(), kDamaged, {},
         goneFromBoth()},
        // Removal.
        {"remove: the removal of a damaged summary fails",
         [this] { spoiled(208, "XXXXXXXX")(); platsim::setFault("UtilFile.Remove", "count=1 errno=13"); }, opening(),
         kDamaged, {"platform:1106 05130B1F D 0 0 rc=2 sev=40"}},  // (which side goes first: the file tests)
        {"remove: the names read left its error pending", created("UtilFile.read", "after=1 count=1 match=.summary"),
         [this] { return open(kSys)->removeSummaryFile(); }, "platform:1102 05130B1F 5 0 0 rc=2 sev=40", {}},
    });
}

TEST_F(SummaryCreate, OpeningTakesTheKindFromTheIdAndToleratesAnyEyeCatcher) {
    create(kHwu);
    std::unique_ptr<DumpSummary> hwu = open({DumpSummary::typeOfSummary_t(0), kHwu.id});  // no kind given
    EXPECT_EQ((std::vector<unsigned>{unsigned(hwu->GetSummaryType()), hwu->getDumpId(), hwu->getFileHeaderSize()}),
              (std::vector<unsigned>{DumpSummary::HWU, kHwu.id, 160}));
    create(kSys);
    patch(kSys, 208, {'R', 'S', 'C', ' ', 'D', 'U', 'M', 'P'});
    EXPECT_EQ(signature(tryOpen(kSys.id)), "");
    patch(kSys, 224, {0xFF, 0xFF, 0xFF, 0xFF});  // another id inside
    std::unique_ptr<DumpSummary> held = open(kSys);  // with no log
    EXPECT_EQ(held->removeSummaryFile(), nullptr);
    EXPECT_EQ(held->removeSummaryFile(), nullptr) << "nothing left to remove";
    EXPECT_FALSE(fileExists(primary(kPath)) || fileExists(backup(kPath)));
}

// What a short summary file lacks reads as zero, whatever the object's
// memory held before. One that ends inside its file names opens (the short
// read is only traced), the summary's own name staying in its slot; one that
// ends inside its summary fails the eye-catcher check, even where the
// memory still holds a good summary's images.
TEST_F(SummaryCreate, WhatAShortSummaryLacksReadsAsZero) {
    create(kSys);
    std::filesystem::resize_file(primary(kPath), 1232 + 100);
    alignas(DumpSummary) unsigned char memory[sizeof(DumpSummary)];
    std::memset(memory, 0xA5, sizeof memory);
    ErrlEntry* errl = nullptr;
    DumpSummary* s = new (memory) DumpSummary(kSys.id, errl);
    EXPECT_EQ(signature(errl), "");
    EXPECT_EQ(s->GetPrivateFlags(), 0u);
    std::string name = "untouched";
    EXPECT_FALSE(s->getResourceDumpFileName(name));
    EXPECT_TRUE(s->getSummaryFileName(name));
    EXPECT_EQ(name, kPath);
    s->~DumpSummary();

    std::filesystem::resize_file(primary(kPath), 100);
    s = new (memory) DumpSummary(kSys.id, errl);
    EXPECT_EQ(signature(errl), kDamaged);
    s->~DumpSummary();
    EXPECT_FALSE(fileExists(primary(kPath)));
}

}  // namespace
