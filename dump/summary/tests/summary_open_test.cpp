// Opening a dump's summary by id, the failures that remove a damaged
// summary from both service processors, and removeSummaryFile.
#include <functional>

#include "summaryTest.h"

using namespace summarytest;
using namespace testsupport;

namespace {

class SummaryOpen : public SummaryTest {
protected:
    // Opens dump id; the log it returns, committed, or null when it opened.
    Json openLog(uint32_t id, int type = 0) {
        ErrlEntry* errl = nullptr;
        { DumpSummary s(id, errl, static_cast<DumpSummary::typeOfSummary_t>(type)); }
        return errl ? committed(errl) : Json();
    }
    void damage(const Kind& k, size_t offset, const std::string& bytes) {
        patchFile(k, offset, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    bool goneFromBoth(const Kind& k) {
        return !fileExists(primary(pathOf(k))) && !fileExists(backup(pathOf(k)));
    }
};

TEST_F(SummaryOpen, OpensByIdTakingTheKindFromTheIdWhenNotGiven) {
    create(kHwu);
    create(kRsc);
    ErrlEntry* errl = nullptr;
    DumpSummary hwu(kHwu.id, errl);
    EXPECT_EQ(errl, nullptr);
    EXPECT_EQ(hwu.GetSummaryType(), DumpSummary::HWU);
    EXPECT_EQ(hwu.getDumpId(), kHwu.id);
    EXPECT_EQ(hwu.getFileHeaderSize(), 160);
    DumpSummary rsc(kRsc.id, errl, DumpSummary::RSC);
    EXPECT_EQ(errl, nullptr);
    EXPECT_EQ(rsc.GetSummaryType(), DumpSummary::RSC);

    // Without the type, 0x00000C3D is a system dump, which does not exist.
    Json j = openLog(kRsc.id);
    EXPECT_EQ(j["rc"], 0x1A);
    EXPECT_EQ(j["srcs"][0]["words"], Json::array({word(0x0113, 0xF00B, 6), kRsc.id, 0, 0}));
    EXPECT_EQ(userDataBytes(j, 0), keyValue("Dump Summary Header file", "/plat_dump/SYSDUMP.00000C3D.summary"));
    EXPECT_TRUE(fileExists(primary(pathOf(kRsc)))) << "a missing summary removes nothing";
    EXPECT_EQ(errlog().size(), 1u);
}

TEST_F(SummaryOpen, DamagedOrUnreadableSummaryIsRemovedFromBothProcessors) {
    const uint32_t damaged = word(0x0113, 0xF00B, 39);
    const struct { const char* name; std::function<void()> spoil; uint32_t words[3]; } cases[] = {
        {"eye-catcher", [&] { damage(kSys, 208, "SYS DUMX"); }, {damaged, kSys.id, 0}},
        {"short file", [&] { writeFile(primary(pathOf(kSys)), std::string(100, 'x')); }, {damaged, kSys.id, 0}},
        {"empty eye-catcher", [&] { damage(kSys, 208, std::string(8, '\0')); }, {damaged, kSys.id, 0}},
        {"open", [] { platsim::setFault("UtilFile.Open", "count=1 match=.summary"); },
         {word(0x0113, 0xF00B, 3), 2, kSys.id}},
        {"read", [] { platsim::setFault("UtilFile.read", "count=1 match=.summary"); },
         {word(0x0113, 0xF00B, 24), 5, kSys.id}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        create(kSys);
        c.spoil();
        Json j = openLog(kSys.id);
        EXPECT_EQ(j["rc"], 1);
        EXPECT_EQ(j["srcs"][0]["words"], Json::array({c.words[0], c.words[1], c.words[2], 0}));
        if (c.words[0] != damaged) {
            EXPECT_EQ(userDataBytes(j, 0), keyValue("Dump Summary Header file", pathOf(kSys)));
        }
        EXPECT_TRUE(goneFromBoth(kSys));
    }
    EXPECT_EQ(errlog().size(), 5u) << "the removals themselves went well";
}

TEST_F(SummaryOpen, AnyEyeCatcherOpensAndAnotherIdInsideIsTolerated) {
    create(kSys);
    damage(kSys, 208, "RSC DUMP");
    EXPECT_TRUE(openLog(kSys.id).is_null());
    damage(kSys, 208, "HWU DUMP");
    damage(kSys, 224, "\xFF\xFF\xFF\xFF");
    EXPECT_TRUE(openLog(kSys.id).is_null());
}

TEST_F(SummaryOpen, FileNamesReadFailureIsToleratedAndLockInitFailureCommitted) {
    create(kSys);
    platsim::setFault("UtilFile.read", "after=1 count=1 match=.summary");
    platsim::setFault("UtilSemaphore.init", "count=1");
    EXPECT_TRUE(openLog(kSys.id).is_null());
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 1u) << "the unusable lock's Down and Up later are only traced";
    EXPECT_EQ(logs[0]["callPoints"][0]["location"], 36);
    EXPECT_EQ(logs[0]["callPoints"][0]["word"], kSys.id);

    // The failed read's error stays with the file: the removal takes it.
    platsim::setFault("UtilFile.read", "after=1 count=1 match=.summary");
    ErrlEntry* errl = nullptr;
    DumpSummary s(kSys.id, errl);
    platsim::clearFaults();
    ASSERT_EQ(errl, nullptr);
    EXPECT_EQ(taken(s.removeSummaryFile())["srcs"].back()["words"][0], word(0x0513, 0xF00B, 31));
}

TEST_F(SummaryOpen, FailedRemovalOfADamagedSummaryIsCommitted) {
    create(kSys);
    damage(kSys, 208, "XXXXXXXX");
    platsim::setFault("UtilFile.Remove", "count=1 errno=13");
    EXPECT_FALSE(openLog(kSys.id).is_null());
    std::vector<Json> logs = errlog();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0]["srcs"].back()["words"], Json::array({word(0x0513, 0xF00B, 31), 13, 0, 0}));
    EXPECT_TRUE(fileExists(primary(pathOf(kSys))));
    EXPECT_FALSE(fileExists(backup(pathOf(kSys)))) << "the backup's copy goes first";
}

TEST_F(SummaryOpen, RemoveSummaryFileRemovesBothCopiesOnce) {
    create(kRsc);
    ErrlEntry* errl = nullptr;
    DumpSummary s(kRsc.id, errl, DumpSummary::RSC);
    ASSERT_EQ(errl, nullptr);
    EXPECT_EQ(s.removeSummaryFile(), nullptr);
    EXPECT_TRUE(goneFromBoth(kRsc));
    EXPECT_EQ(s.removeSummaryFile(), nullptr) << "nothing left to remove";
    EXPECT_EQ(openLog(kSys.id, 9)["srcs"][0]["words"][0], word(0x0113, 0xF00B, 0x31)) << "unknown type";
    EXPECT_EQ(errlog().size(), 1u);
}

}  // namespace
