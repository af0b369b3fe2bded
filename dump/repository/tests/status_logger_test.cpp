// The dump status log: its path, the line of each event, appending,
// mirroring to the backup, and failures that lose a line (or a removal)
// without a trace in the error log.
#include "platdump/dumpStatusLogger.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class StatusLog : public DumpTest {
protected:
    std::string log(unsigned id, bool onBackup = false) const {
        const std::string name = "/plat_dump/dumpstatus." + hex8(id);
        return readFile(onBackup ? backup(name) : primary(name));
    }
    static std::string line(const std::string& keyword, int64_t seconds = kClock) {
        return keyword + "," + std::to_string(seconds) + "\n";
    }
};

TEST_F(StatusLog, EachEventAppendsItsKeywordAndTheTimeInSeconds) {
    using L = DumpStatusLogger;
    const std::pair<void (L::*)(), const char*> events[] = {
        {&L::setCheckstopIPLCompleted, "CHECKSTOPIPL_COMPLETED"}, {&L::setCheckstopIPLCalled, "CHECKSTOPIPL_CALLED"},
        {&L::AbortDump, "ABORT_DUMP"}, {&L::setTransitionFileCalled, "TRANSITION_FILE_CALLED"},
        {&L::setMainStoreCollectionDone, "MS_COLLECT_DONE"}, {&L::setMainStoreCollectionStarted, "MS_COLLECT_START"},
        {&L::setMemoryPreservingIPLRequested, "MEM_PRESERVE_IPL_REQ"}, {&L::setSystemCollectionDone, "SYS_COLLECT_END"},
        {&L::setSystemCollectionStarted, "SYS_COLLECT_START"}, {&L::setHardwareCollectionDone, "HW_COLLECT_DONE"},
        {&L::setHardwareCollectionStarted, "HW_COLLECT_START"}, {&L::setHeaderCollection, "HEADER_COLLECTION"},
        {&L::setSystemDumpRequested, "SYSTEM_DUMP_REQ"}, {&L::setHardwareUnitDumpRequested, "HARDWARE_UNIT_DUMP_REQ"},
        {&L::setWaitingState, "WAITING_STATE"},
    };
    std::string expected;
    int64_t second = kClock;
    for (const auto& event : events) {
        platsim::setClock(++second);
        (DumpStatusLogger(0x1A).*event.first)();  // a fresh object each time: it keeps no state
        expected += line(event.second, second);
    }
    EXPECT_EQ(log(0x1A), expected);
    EXPECT_EQ(log(0x1A, true), expected) << "mirrored to the backup";

    platsim::setClock(kClock);
    DumpStatusLogger logger(7);  // phase numbers and seconds are signed decimals
    logger.setStartCollectionPhase(3);
    logger.setEndCollectionPhase(0);
    logger.setStartCollectionPhase(0xFFFFFFFF);
    platsim::setClock(-86400);  // 1969-12-31
    logger.setEndCollectionPhase(12);
    EXPECT_EQ(log(7), line("HWCOLLECTION_PHASE3_START") + line("HWCOLLECTION_PHASE0_END") +
                          line("HWCOLLECTION_PHASE-1_START") + line("HWCOLLECTION_PHASE12_END", -86400));
}

TEST_F(StatusLog, FailuresLoseTheLineAndCommitNothingAndRemovalAlwaysSucceeds) {
    DumpStatusLogger logger(3);
    logger.setSystemDumpRequested();
    for (const char* timeCall : {"rtim_GetTimeOfDay", "rtim_ConvertBCDtoTimeVal"}) {
        platsim::setFault(timeCall);
        logger.setWaitingState();
        DumpStatusLogger(4).setWaitingState();
        platsim::clearFault(timeCall);
    }
    EXPECT_FALSE(fileExists(primary("/plat_dump/dumpstatus.00000004")))
        << "a time-service failure writes no line and creates no file";
    for (const char* fileCall : {"UtilFile.Open", "UtilFile.seek", "UtilFile.write"}) {
        platsim::setFault(fileCall, "count=1 match=dumpstatus");
        logger.AbortDump();
    }
    logger.setHeaderCollection();
    EXPECT_EQ(log(3), line("SYSTEM_DUMP_REQ") + line("HEADER_COLLECTION"))
        << "the lost lines leave no trace in the log, and earlier lines are intact";

    // RemoveFile always succeeds. (Its removal from both sides shows in the deletion tests.)
    EXPECT_TRUE(DumpStatusLogger(5).RemoveFile()) << "no log yet";
    platsim::setFault("UtilFile.Remove", "count=1 match=dumpstatus");
    EXPECT_TRUE(logger.RemoveFile());
    EXPECT_TRUE(fileExists(primary("/plat_dump/dumpstatus.00000003")));
}

}  // namespace
