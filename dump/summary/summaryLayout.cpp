// What each kind of dump puts in its summary file.
#include "dump/summary/summaryLayout.h"

#include "platdump/dumpCollections.h"

namespace dump {
namespace layout {

namespace {

const KindInfo kKinds[] = {
    // HWU: the offloaded header ends after the hardware section.
    {DumpCollections::HWUDUMP, "HWUDUMP", "HWU DUMP", 17, 160, true},
    {DumpCollections::SYSDUMP, "SYSDUMP", "SYS DUMP", 15, 208, false},
    {DumpCollections::RESDUMP, "RSCDUMP", "RSC DUMP", 0, 208, false},
};

}  // namespace

const KindInfo* kindInfo(DumpSummary::typeOfSummary_t type) {
    if (type < DumpSummary::HWU || type > DumpSummary::RSC) return nullptr;
    return &kKinds[type - DumpSummary::HWU];
}

DumpSummary::typeOfSummary_t kindOfEyeCatcher(const uint8_t* p) {
    for (DumpSummary::typeOfSummary_t t : {DumpSummary::HWU, DumpSummary::SYS, DumpSummary::RSC})
        if (std::memcmp(p, kindInfo(t)->eyeCatcher, EYE_CATCHER_WIDTH) == 0) return t;
    return static_cast<DumpSummary::typeOfSummary_t>(0);
}

}  // namespace layout
}  // namespace dump
