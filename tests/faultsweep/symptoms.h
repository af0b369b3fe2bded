// What a run left that the no-fault run did not, as the sweep can observe
// it: each symptom is something a rule must explain (rules.h) for the run
// to end in an accepted outcome.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "outcome.h"

namespace sweep {

struct Symptom {
    enum Kind {
        Vanished,       // a dump whose creation succeeded was gone before its deletion
        Deletion,       // DeleteDump answered false, while its dump named files and is gone
        AtRest,         // `platdump check` found something in the repository at a moment
        StreamBad,      // the extracted stream of the system dump does not decode
        StreamDiffers,  // it decodes, but differs from the no-fault stream
        Answer,         // a listing, count, state or getter answer differs
    };
    Kind kind;
    unsigned dump = 0;              // the dump it concerns; 0: none, or any
    std::string when;               // AtRest: the moment
    std::set<std::string> kinds;    // AtRest: the kinds of finding there
    std::string detail;
};

// Every symptom of the run; the answers and a stream that differs but
// decodes only when nothing was reported (a report accounts for them).
std::vector<Symptom> symptomsOf(const RunRecord& run, const RunRecord& check, const Baseline& baseline,
                                bool reported);

// "AtRest", "StreamBad", ...
const char* symptomName(Symptom::Kind kind);

// A dump damaged at rest (its offload did not decode) that `platdump check`
// found nothing in at that moment; empty when there is none.
std::string damageCheckMisses(const RunRecord& check);

// "the system dump" or "the unit dump" for a dump id.
std::string dumpName(unsigned dump);

}  // namespace sweep
