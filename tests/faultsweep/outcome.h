// The outcome classes of a sweep run and the rules that assign them. A
// single failed platform call may end in one of three accepted ways: it
// changes nothing that anyone can see; the operation reports it (a
// returned or committed error log) and the repository stays consistent;
// or the contract prescribes the outcome (rules.h). Everything else is a
// finding.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "record.h"

namespace sweep {

// Accepted outcomes; the prescribed ones are those of rules.h.
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
const std::vector<const char*>& outcomeClasses();
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

// A run reported something the no-fault run (baseline) did not.
bool reportedSomething(const Run& run, const Run& baseline);

Verdict classify(const Run& run, const Run& baseline);

// The signature of a committed error log line (JSON): return code and the
// location word of every SRC, which the entry's ids do not change.
std::string errorLogSignature(const std::string& jsonLine);

}  // namespace sweep
