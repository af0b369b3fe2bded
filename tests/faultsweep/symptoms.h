// What a run left that the no-fault run did not, as the sweep can observe
// it: each symptom is something a rule must explain (rules.h) for the run
// to end in an accepted outcome.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "outcome.h"

namespace sweep {

// In the order of what they say of the dump: what lies in the repository
// first, the answers last. A run takes the class of the rule that explains
// its first.
struct Symptom {
    enum Kind {
        AtRest,         // `platdump check` found something in the repository at a moment
        Vanished,       // a dump whose creation succeeded was gone before its deletion
        Deletion,       // DeleteDump answered false, while its dump named files and is gone
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

NLOHMANN_JSON_SERIALIZE_ENUM(Symptom::Kind, {{Symptom::AtRest, "AtRest"},
                                             {Symptom::Vanished, "Vanished"},
                                             {Symptom::Deletion, "Deletion"},
                                             {Symptom::StreamBad, "StreamBad"},
                                             {Symptom::StreamDiffers, "StreamDiffers"},
                                             {Symptom::Answer, "Answer"}})
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Symptom, kind, dump, when, detail)

// Every symptom of the run in the order of their kinds; the answers and a
// stream that differs but decodes only when nothing was reported (a report
// accounts for them).
std::vector<Symptom> symptomsOf(const Run& run, const Run& baseline, bool reported);

// A dump damaged at rest (its offload did not decode) that `platdump check`
// found nothing in at that moment; empty when there is none.
std::string damageCheckMisses(const RunRecord& check);

// "the system dump" or "the unit dump" for a dump id.
std::string dumpName(unsigned dump);

}  // namespace sweep
