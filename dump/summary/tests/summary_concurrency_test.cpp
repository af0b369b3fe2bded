// The update protocol across real processes: each holds its own
// DumpSummary on one dump; no update is lost in any interleaving, and a
// hold that cannot be given back does not stop the next holder.
#include <unistd.h>

#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class SummaryConcurrency : public DumpTest {};

constexpr int kProcesses = 8;
constexpr int kRounds = 200;  // 8 x (2 x 200 + 4) = 3232 setters
constexpr unsigned kWatchdogSeconds = 60;

// One process's share: two counters every round, and each of its four
// flag bits (two of dumpFlags, two of hwErrorFlags) set exactly once, at
// rounds that differ between processes.
int worker(int p) {
    alarm(kWatchdogSeconds);  // a lock never given back fails the test instead of hanging it
    ErrlEntry* errl = nullptr;
    DumpSummary s(kSys.id, errl);
    if (errl) return 10;
    for (int r = 0; r < kRounds; ++r) {
        if (r == 7 * p + 1) s.setDumpFlagsByMask(static_cast<unsigned short>(1u << (2 * p)));
        if (r == 5 * p + 3) s.setHardwareErrorFlags(static_cast<unsigned short>(1u << (2 * p)));
        s.IncrementTCEErrorCount();
        if (r == 150 - 9 * p) s.setDumpFlagsByMask(static_cast<unsigned short>(1u << (2 * p + 1)));
        s.IncrementFinishedHDCTItemCount();
        if (r == 190 - 4 * p) s.setHardwareErrorFlags(static_cast<unsigned short>(1u << (2 * p + 1)));
    }
    return 0;
}

TEST_F(SummaryConcurrency, EightProcessesLoseNoUpdate) {
    create(kSys);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) children.push_back(forkChild([p] { return worker(p); }));
    for (pid_t c : children) EXPECT_EQ(waitChild(c), 0);

    EXPECT_EQ(fieldOf(kSys, 720), 0xFFFFFFFFu) << "every dumpFlags and hwErrorFlags bit";
    EXPECT_EQ(fieldOf(kSys, 4352, 4), uint32_t(kProcesses * kRounds)) << "tceErrorCount";
    EXPECT_EQ(fieldOf(kSys, 4368, 4), uint32_t(kProcesses * kRounds)) << "finishedHdctItemCount";
    EXPECT_EQ(bytesOf(kSys, true), bytesOf(kSys));
}

TEST_F(SummaryConcurrency, AHoldThatCannotBeGivenBackDoesNotStopTheNextHolder) {
    create(kSys);
    platsim::setFault("UtilSemaphore.Up", "count=1 match=dump.2");
    EXPECT_EQ(waitChild(forkChild([] {
                  alarm(kWatchdogSeconds);  // the next holder would wait for ever
                  ErrlEntry* errl = nullptr;
                  DumpSummary a(kSys.id, errl), b(kSys.id, errl);
                  a.setDumpFlagsByMask(0x0100);
                  b.setHardwareErrorFlags(0x0001);
                  return errl ? 10 : 0;
              })),
              0);
    EXPECT_EQ(fieldOf(kSys, 720), 0x01000001u) << "dumpFlags, hwErrorFlags";
    // What the lock's release returns is only traced.
}

}  // namespace
