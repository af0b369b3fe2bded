// The outcome classes of a sweep run and the rules that assign them. A
// single failed platform call may end in one of three accepted ways: it
// changes nothing that anyone can see; the operation reports it (a
// returned or committed error log) and the repository stays consistent;
// or the contract prescribes the outcome (a Rule). What a run left that
// the no-fault run did not is a symptom, and each must be explained by a
// rule for one of the faults that fired; a symptom no rule explains is a
// finding.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "record.h"

namespace sweep {

// Accepted outcomes; the prescribed ones are those of rules().
constexpr char kUnaffected[] = "unaffected";
constexpr char kReported[] = "reported, repository consistent";
// Findings.
constexpr char kWrongBytes[] = "FINDING silent wrong bytes";
constexpr char kFalseAnswer[] = "FINDING false answer";
constexpr char kMissedDamage[] = "FINDING damage platdump check does not find";
constexpr char kHang[] = "FINDING hang";
constexpr char kCrash[] = "FINDING crash";
constexpr char kSanitizer[] = "FINDING sanitizer report";
constexpr char kInconsistent[] = "FINDING inconsistent repository";

// Every class in table order; the accepted ones first.
std::vector<const char*> outcomeClasses();
bool accepted(const std::string& outcome);

// How one of the run's processes ended.
struct ProcessEnd {
    int status = 0;          // as waitpid reports it
    bool sanitizer = false;  // its stderr holds a sanitizer report
    std::string what;        // "lifecycle" or "check"
};

// A fault that fired: the fault name, the call's subject and the step of
// the lifecycle that was running, with its place among the run's steps.
struct Fired {
    std::string call, subject, step;
    size_t order = 0;
};

// Everything the runner knows of one run.
struct Run {
    ProcessEnd lifecycleEnd, checkEnd;
    bool haveRecord = false;
    std::vector<std::string> errorLogs;  // signature of each committed entry
    std::vector<Fired> fired;            // as the sim's faults.log has them
    RunRecord record;                    // what the lifecycle recorded
    RunRecord check;                     // what the check process found
    std::map<std::string, uint64_t> counts;  // calls per fault name (counting runs)
};

Verdict classify(const Run& run, const Run& baseline);

// ---- Symptoms.

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

// ---- Rules (rules.cpp): each prescribes what a failed platform call
// leaves behind, and explains a symptom when one of the faults that fired
// could, by it, have brought the symptom about: the fault's call, the file
// it hit (whose dump, a summary or a nodal file) and the step of the
// lifecycle that was running are what the sweep observes.

struct Rule {
    const char* outcome;               // "prescribed: ...", the rule in plain words
    std::vector<std::string> calls;    // the fault names it concerns; empty: any
    bool (*file)(const Fired& fault);  // the file it hit: any, a dump's, a summary, nodal, a TOC
    std::vector<std::string> steps;    // the kinds of step it concerns; empty: any
    // Whether what the fault left can be the symptom; dump is the one whose
    // file the fault hit (0: none).
    bool (*leaves)(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom, unsigned dump);

    bool explains(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom) const;
};

// Every rule, in the order of the outcome table.
const std::vector<Rule>& rules();

}  // namespace sweep
