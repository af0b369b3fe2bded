// The rules of the library's contract that prescribe what a failed
// platform call leaves behind, each an accepted outcome class of the sweep
// named after its rule. A rule explains a symptom (symptoms.h) when one of
// the faults that fired could, by that rule, have brought it about: the
// fault's call, the file it hit (whose dump, a summary or a nodal file) and
// the step of the lifecycle that was running are what the sweep observes.
// A symptom no rule explains is a finding.
#pragma once

#include <vector>

#include "outcome.h"
#include "symptoms.h"

namespace sweep {

// What a rule may look at besides the fault and the symptom.
struct RuleContext {
    const RunFacts& facts;
    const RunRecord& run;
    const RunRecord& check;
    const Baseline& baseline;
};

struct Rule {
    const char* outcome;  // "prescribed: ...", the rule in plain words
    bool (*explains)(const RuleContext& context, const Fired& fault, const Symptom& symptom);
};

// Every rule, in the order of the outcome table.
const std::vector<Rule>& rules();

}  // namespace sweep
