// The rules of the library's contract that prescribe what a failed
// platform call leaves behind, each an accepted outcome class of the sweep
// named after its rule. A rule explains a symptom (symptoms.h) when one of
// the faults that fired could, by that rule, have brought it about: the
// fault's call, the file it hit (whose dump, a summary or a nodal file) and
// the step of the lifecycle that was running are what the sweep observes.
// A symptom no rule explains is a finding.
#pragma once

#include <string>
#include <vector>

#include "outcome.h"
#include "symptoms.h"

namespace sweep {

// The file a fault hit: any, one whose name holds a dump's id, a summary,
// a nodal section's TOC or data file, or a TOC.
enum class File { any, ofDump, summary, nodal, toc };

struct Rule {
    const char* outcome;             // "prescribed: ...", the rule in plain words
    std::vector<std::string> calls;  // the fault names it concerns; empty: any
    File file;
    std::vector<std::string> steps;  // the kinds of step it concerns; empty: any
    // Whether what the fault left can be the symptom; dump is the one whose
    // file the fault hit (0: none).
    bool (*leaves)(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom, unsigned dump);

    bool explains(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom) const;
};

// Every rule, in the order of the outcome table.
const std::vector<Rule>& rules();

}  // namespace sweep
