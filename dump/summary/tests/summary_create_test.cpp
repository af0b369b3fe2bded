// Creating a dump's summary: the exact bytes of each kind, the mirror, and
// the failures creation can meet with their location words and substitutes.
#include <filesystem>

#include "summaryTest.h"

using namespace summarytest;
using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

class SummaryCreate : public SummaryTest {
protected:
    // Creates dump k expecting failure; the returned log, committed.
    Json createFails(const Kind& k) {
        ErrlEntry* errl = nullptr;
        { DumpSummary s(k.type, k.id, errl); }
        return committed(errl);
    }
};

TEST_F(SummaryCreate, NewSummaryOfEachKindIsExactlyTheDocumentedLayout) {
    // An id in the hardware-unit range does not change a system dump's layout.
    Kind sysWithUnitId = kSys;
    sysWithUnitId.id = 0x0100001A;
    sysWithUnitId.fileName = "SYSDUMP.0100001A.summary";
    const Kind* kinds[] = {&kSys, &kHwu, &kRsc, &sysWithUnitId};
    for (const Kind* k : kinds) {
        SCOPED_TRACE(k->fileName);
        create(*k);
        EXPECT_EQ(primaryBytes(*k), expectedSummary(*k));
        EXPECT_EQ(backupBytes(*k), primaryBytes(*k));
        const std::string sync = "rmgrSyncFileChunk 0xF000 " + pathOf(*k);
        EXPECT_EQ(rmgrCalls(), (Lines{"rmgrInvokeRemoteCommand 0xF000 0xF000 5", sync + " 0 1232",
                                      sync + " 1232 3140", sync + " 0 208", sync + " 208 1024",
                                      sync + " 1232 3140"}))
            << "creation's two writes, then the flush of the derived sizes";
    }
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummaryCreate, OffThePrimaryOrWithTheBackupFailingOnlyTheLocalFileIsWritten) {
    platsim::setRole(4);
    create(kSys);
    EXPECT_EQ(primaryBytes(kSys), expectedSummary(kSys));
    EXPECT_FALSE(fileExists(backup(pathOf(kSys))));

    // On the backup (role 0) this processor's files and registry are the
    // backup tree's.
    std::filesystem::copy(primary("/registry"), backup("/registry"), std::filesystem::copy_options::recursive);
    platsim::setRole(0);
    create(kHwu);
    EXPECT_EQ(backupBytes(kHwu), expectedSummary(kHwu));
    EXPECT_FALSE(fileExists(primary(pathOf(kHwu))));
    EXPECT_TRUE(rmgrCalls().empty());

    platsim::setRole(1);
    platsim::setFault("rmgrInvokeRemoteCommand");
    platsim::setFault("rmgrSyncFileChunk");
    create(kRsc);
    EXPECT_EQ(primaryBytes(kRsc), expectedSummary(kRsc));
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummaryCreate, ExistingFileFailingOpenAndUnreadableSerialAreReturned) {
    writeFile(primary(pathOf(kSys)), "someone else's");
    Json j = createFails(kSys);
    EXPECT_EQ(j["rc"], 1);
    EXPECT_EQ(j["srcs"][0]["words"], Json::array({word(0x0113, 0xF00B, 9), kSys.id, 0, 0}));
    EXPECT_EQ(userDataBytes(j, 0), keyValue("Dump Summary Header file", pathOf(kSys)));
    EXPECT_EQ(readFile(primary(pathOf(kSys))), "someone else's");

    platsim::setFault("UtilFile.Open", "count=1");
    j = createFails(kRsc);
    EXPECT_EQ(j["srcs"][0]["words"], Json::array({word(0x0113, 0xF00B, 10), 0, 0, 0}));
    EXPECT_EQ(userDataBytes(j, 0), keyValue("Dump Summary Header file", pathOf(kRsc)));
    EXPECT_FALSE(fileExists(primary(pathOf(kRsc))));

    platsim::removeRegistry("svpd/Raw_MachineSerialNumber");
    ErrlEntry* errl = nullptr;
    {
        DumpSummary s(kHwu.type, kHwu.id, errl);
        EXPECT_EQ(readFile(primary(pathOf(kHwu))), "") << "created, nothing written";
    }
    j = committed(errl);
    EXPECT_EQ(j["rc"], 2) << "a received entry";
    EXPECT_EQ(j["srcs"].back()["words"], Json::array({word(0x0113, 0xF0F0, 15), 0, 0, 0}));
    EXPECT_EQ(primaryBytes(kHwu).size(), 4372u) << "the destructor's flush writes the images as they are";
    // Besides: the sweep after the failed creation found the foreign file
    // in kSys's name damaged (its open removed it), and noted the removal
    // that then failed.
    std::vector<Json> log = errlog();
    ASSERT_EQ(log.size(), 4u) << "nothing committed besides";
    EXPECT_EQ(log[1]["srcs"][0]["words"], Json::array({word(0x0C1C, 0xF00B, 15), 0, 0, 0}));
}

TEST_F(SummaryCreate, RegionWriteFailuresAreReturned) {
    const struct { const char* fault; const char* params; uint8_t location; } cases[] = {
        {"UtilFile.seek", "count=1 match=.summary", 2},
        {"UtilFile.write", "count=1 match=.summary", 5},
        {"UtilFile.write", "after=1 count=1 match=.summary", 13},
        {"UtilFile.seek", "after=2 count=1 match=.summary", 13},  // the seek to the names: its error stays pending
    };
    uint32_t id = 0x40;
    for (const auto& c : cases) {
        platsim::setFault(c.fault, c.params);
        Kind k = kSys;
        k.id = ++id;
        EXPECT_EQ(createFails(k)["srcs"][0]["words"], Json::array({word(0x0113, 0xF00B, c.location), 0, 0, 0}));
        platsim::clearFaults();
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
    ASSERT_EQ(errl, nullptr);
    ASSERT_EQ(primaryBytes(kSys).size(), 1232u);
    std::string mdrt = "/plat_dump/0000001A.MDRT";
    s.setMDRTFileName(mdrt, 0x40);
    std::vector<uint8_t> want = expectedSummary(kSys);
    std::fill(want.begin() + 232, want.begin() + 240, 0);  // not flushed yet: no derived total
    std::fill(want.begin() + 776, want.begin() + 780, 0);
    const std::vector<uint8_t> name = Bytes().field(mdrt, 64).u32(0x40).bytes();
    std::copy(name.begin(), name.end(), want.begin() + 4088);
    EXPECT_EQ(primaryBytes(kSys), want);
    EXPECT_EQ(backupBytes(kSys), want);
    EXPECT_TRUE(errlog().empty());
}

TEST_F(SummaryCreate, UnreadableClockAndSemaphoreAreCommittedAndCreationGoesOn) {
    platsim::setFault("rtim_GetTimeOfDay", "status=7");
    platsim::setFault("UtilSemaphore.init", "count=1");
    create(kSys);
    Facts f;
    f.creationTime.assign(8, 0x11);
    EXPECT_EQ(primaryBytes(kSys), expectedSummary(kSys, f));
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 2u) << "the unusable lock's Down and Up later are only traced";
    EXPECT_EQ(logs[0]["callPoints"], Json::parse(R"([{"component":61440,"function":256,"file":19,"location":33,"word":26}])"));
    EXPECT_EQ(logs[1]["srcs"].back()["words"], Json::array({word(0x0113, 0xF0F1, 11), 7, 0, 0}));
}

// A registry, file or time failure while the record is gathered: the one
// log committed, and what is stored instead.
struct GatherCase {
    const char* name;
    const char* removedKey;   // registry value removed, or null
    const char* faultCall;    // injected fault, or null
    const char* faultParams;
    void (*substitute)(Facts&);
    std::vector<uint32_t> srcWords;  // the library's SRCs' first words, oldest first
    int callPointLocation;           // the one call point's location (0: none)
    const char* detailsKey;          // key of the Vosk file section, or null
};

void noVoskInfo(Facts& f) {
    f.voskInfoData = "";
    f.voskWord1 = f.voskWord2 = 0;
    f.voskInfoTime = kEpochBcd;
}
void deadbeef(Facts& f) {
    noVoskInfo(f);
    f.voskInfoData = "DEADBEEF";
}
constexpr uint32_t kVoskLogged = word(0x0813, 0xF0F1, 19);

class GatheringFailure : public SummaryTest, public ::testing::WithParamInterface<GatherCase> {};

TEST_P(GatheringFailure, IsCommittedAndCreationGoesOnWithTheSubstitute) {
    const GatherCase& c = GetParam();
    if (c.removedKey) platsim::removeRegistry(c.removedKey);
    if (c.faultCall) platsim::setFault(c.faultCall, c.faultParams);
    create(kSys);
    Facts f;
    c.substitute(f);
    EXPECT_EQ(primaryBytes(kSys), expectedSummary(kSys, f));
    EXPECT_EQ(backupBytes(kSys), primaryBytes(kSys));
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u);
    std::vector<uint32_t> words;
    for (const Json& src : logs[0]["srcs"])
        if (src["component"] == 0xF000) words.push_back(src["words"][0]);
    EXPECT_EQ(words, c.srcWords);
    Json points = logs[0]["callPoints"];
    EXPECT_EQ(points.size() == 1 ? points[0]["location"].get<int>() : 0, c.callPointLocation);
    std::vector<uint8_t> details = c.detailsKey ? keyValue(c.detailsKey, kVoskPath) : std::vector<uint8_t>();
    if (c.detailsKey) {
        EXPECT_EQ(userDataBytes(logs[0], logs[0]["userData"].size() - 1), details);
    }
}

const GatherCase kGatherCases[] = {
    {"TypeModel", "svpd/Raw_MachineTypeModel", nullptr, "",
     [](Facts& f) { f.typeModel = "    0000A1B212345678            "; }, {word(0x0105, 0xF0F0, 3)}, 0, nullptr},
    {"CecIplType", "smgr/CecIplType", nullptr, "",
     [](Facts& f) { f.typeModel = "SIMX-T01        12345678        "; }, {word(0x0105, 0xF0F0, 4)}, 0, nullptr},
    {"TovIplType", "smgr/TovIplType", nullptr, "",
     [](Facts& f) { f.typeModel = "SIMX-T01        0000A1B2        "; }, {word(0x0105, 0xF0F0, 5)}, 0, nullptr},
    {"SystemNameSize", "fstp/SystemName", nullptr, "", [](Facts& f) { f.systemName = ""; },
     {word(0x0813, 0xF0F0, 17)}, 0, nullptr},
    {"SystemName", nullptr, "UtilReg.read", "after=1 count=1 match=fstp/SystemName",
     [](Facts& f) { f.systemName = ""; }, {word(0x0813, 0xF0F0, 18)}, 0, nullptr},
    {"VoskDumpContent", "menu/VoskDumpContent", nullptr, "", [](Facts& f) { f.voskDumpContent = 0xFF; }, {}, 8,
     nullptr},
    {"VoskHrmor", "mbox/voskHRMOR", nullptr, "", [](Facts& f) { f.voskHrmor.assign(8, 0xFF); },
     {word(0x0813, 0xF0F0, 38)}, 0, nullptr},
    {"VoskTimeConversion", nullptr, "rtim_ConvertTimeValToBCD", "after=1 status=9",
     [](Facts& f) { f.voskInfoTime.assign(8, 0); }, {word(0x0813, 0xF0F1, 20)}, 0, nullptr},
    {"HypModeSize", "menu/HypMode", nullptr, "", noVoskInfo, {kVoskLogged}, 25, nullptr},
    {"HypMode", nullptr, "UtilReg.read", "after=1 count=1 match=menu/HypMode", noVoskInfo, {kVoskLogged}, 26,
     nullptr},
    {"VoskPath", nullptr, "UtilReg.path", "", deadbeef, {word(0x0913, 0xF0F0, 32), kVoskLogged}, 0, nullptr},
    {"VoskFileMissing", "dump/VoskInfo", nullptr, "", deadbeef, {word(0x0913, 0xF00B, 35), kVoskLogged}, 0,
     "Vosk File"},
    {"VoskFileOpen", nullptr, "UtilFile.Open", "match=VoskInfo", deadbeef,
     {word(0x0913, 0xF0F0, 21), kVoskLogged}, 0, "Vosk Info file"},
    {"VoskFileSeek", nullptr, "UtilFile.seek", "match=VoskInfo", deadbeef,
     {word(0x0913, 0xF0F0, 22), kVoskLogged}, 0, "Vosk File"},
    {"VoskFileRead", nullptr, "UtilFile.read", "match=VoskInfo", deadbeef,
     {word(0x0913, 0xF0F0, 23), kVoskLogged}, 0, "Vosk File"},
};

INSTANTIATE_TEST_SUITE_P(Summary, GatheringFailure, ::testing::ValuesIn(kGatherCases),
                         [](const ::testing::TestParamInfo<GatherCase>& info) { return info.param.name; });

TEST_F(SummaryCreate, FailureWordsAndSectionsOfTheGathering) {
    platsim::removeRegistry("smgr/CecIplType");
    platsim::setFault("UtilFile.read", "match=VoskInfo");
    create(kSys);
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(userDataBytes(logs[0], logs[0]["userData"].size() - 1),
              Bytes().u32(4).u32(1).text("smgr/CecIplType").u32(0).bytes()) << "DumpUtilRegistryInfo";
    EXPECT_EQ(logs[1]["srcs"][1]["words"], Json::array({word(0x0913, 0xF0F0, 23), 20, 0, 0})) << "the file's size";
}

TEST_F(SummaryCreate, VoskFileSizesAndHypervisorMode) {
    setVoskFile(Bytes().u32(kVoskTimeWord).u32(kVoskWord1).u32(kVoskWord2).text("ABCDEFGHIJKL"));
    create(kSys);
    Facts cut;
    cut.voskInfoData = "ABCDEFGH";
    EXPECT_EQ(primaryBytes(kSys), expectedSummary(kSys, cut)) << "24 bytes: 8 of the payload";
    EXPECT_TRUE(errlog().empty());

    setVoskFile(Bytes().u32(kVoskTimeWord).u32(kVoskWord1).u32(kVoskWord2));
    create(kRsc);
    Facts none;
    deadbeef(none);
    EXPECT_EQ(primaryBytes(kRsc), expectedSummary(kRsc, none)) << "12 bytes: nothing stored";
    Json j = errlog().at(0);
    EXPECT_EQ(j["srcs"][0]["words"], Json::array({word(0x0913, 0xF00B, 34), 6, 12, 0}));
    EXPECT_EQ(j["srcs"][1]["words"][0], kVoskLogged);

    platsim::setRegistry("menu/HypMode", std::string(1, '\0'));
    create(kHwu);
    noVoskInfo(none);
    EXPECT_EQ(primaryBytes(kHwu), expectedSummary(kHwu, none)) << "mode 0: no Vosk info";
    EXPECT_EQ(errlog().size(), 1u);
}

TEST_F(SummaryCreate, ShortSerialNumberLeavesNulBytesAndAnUnknownTypeCreatesNothing) {
    platsim::setRegistry("svpd/Raw_MachineSerialNumber", "x9z");
    create(kRsc);
    Facts f;
    f.serial = std::string("X9Z\0\0\0\0", 7);
    EXPECT_EQ(primaryBytes(kRsc), expectedSummary(kRsc, f));

    Kind unknown = kSys;
    unknown.type = static_cast<DumpSummary::typeOfSummary_t>(7);
    EXPECT_EQ(createFails(unknown)["srcs"][0]["words"][0], word(0x0113, 0xF00B, 0x30));
    {
        // The object whose creation failed answers empty, writes nothing
        // and commits nothing, whatever its holder calls.
        ErrlEntry* errl = nullptr;
        DumpSummary s(unknown.type, unknown.id, errl);
        ASSERT_NE(errl, nullptr);
        delete errl;
        const size_t logs = errlog().size();
        SrciSrc src(0x2A00, SRCI_TYPE_FSP, 0, 0x17, SVC_DUMP_FAILURE, 0x2A17, 0x2A170101, 0x1A, 0, 0,
                    EPUB_FIRMWARE_SP);
        s.setDumpFlags(0x4000);
        EXPECT_EQ(s.ReadSummary() + s.writeSummary(), 0u);
        EXPECT_EQ(s.flush(), nullptr);
        s.setDumpComplete();
        EXPECT_EQ(s.getSrc(), nullptr);
        EXPECT_EQ(s.SaveFlattenedSRC(src), nullptr);
        EXPECT_EQ(errlog().size(), logs);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(primary("/plat_dump")),
                            std::filesystem::directory_iterator()), 1);
}

}  // namespace
