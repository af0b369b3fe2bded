// Holds the summary lock of a DumpSummary for one scope. Operations that
// change more than one region, or that measure files and then write, take
// the lock through this so that every return path gives it back. The lock
// is not recursive: no setter may be called while it is held.
#pragma once

#include "platdump/dumpSummary.h"

namespace dump {

class SummaryLockHold {
public:
    explicit SummaryLockHold(DumpSummary& summary) : iv_summary(summary) { iv_summary.lockExclusive(); }
    ~SummaryLockHold() { iv_summary.unlockExclusive(); }
    SummaryLockHold(const SummaryLockHold&) = delete;
    SummaryLockHold& operator=(const SummaryLockHold&) = delete;

private:
    DumpSummary& iv_summary;
};

}  // namespace dump
