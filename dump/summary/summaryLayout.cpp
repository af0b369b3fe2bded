// Telling a summary's kind from its eye-catcher.
#include "dump/summary/summaryLayout.h"

namespace dump {
namespace layout {

DumpSummary::typeOfSummary_t kindOfEyeCatcher(const uint8_t* p) {
    for (DumpSummary::typeOfSummary_t t : {DumpSummary::HWU, DumpSummary::SYS, DumpSummary::RSC})
        if (std::memcmp(p, kindInfo(t)->eyeCatcher, EYE_CATCHER_WIDTH) == 0) return t;
    return static_cast<DumpSummary::typeOfSummary_t>(0);
}

}  // namespace layout
}  // namespace dump
