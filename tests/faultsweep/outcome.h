// The outcome classes of a sweep run and the rules that assign them. A
// single failed platform call may end in one of three accepted ways: it
// changes nothing that anyone can see; the operation reports it (a
// returned or committed error log) and the repository stays consistent;
// or the contract prescribes the outcome. Everything else is a finding.
#pragma once

#include <string>
#include <vector>

#include "record.h"

namespace sweep {

// Accepted outcomes; the other prescribed ones are those of rules.h.
extern const char kUnaffected[];
extern const char kReported[];
// The opening constructor removes a summary it cannot open or read, and
// the orphan sweep then takes the dump's files: a transient open or read
// failure on a summary file loses the whole dump. That is the contract.
extern const char kPrescribed[];
// A failed console query, session lookup or exchange leaves the console
// record partly or wholly empty and is not reported.
extern const char kPrescribedConsole[];
// A failed write of the file-system use entry is traced only: the system
// section lacks that item.
extern const char kPrescribedFileSystemUse[];
// Findings.
extern const char kWrongBytes[];
extern const char kFalseAnswer[];
extern const char kMissedDamage[];
extern const char kHang[];
extern const char kCrash[];
extern const char kSanitizer[];
extern const char kInconsistent[];

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

// What the runner knows of one run besides the records.
struct RunFacts {
    ProcessEnd lifecycle, check;
    bool haveRecord = false;
    std::vector<std::string> errorLogs;  // signature of each committed entry
    std::vector<Fired> fired;            // as the sim's faults.log has them
};

struct Baseline {
    RunRecord record;
    std::vector<std::string> errorLogs;
};

struct Verdict {
    std::string outcome;
    std::string detail;
};

bool reportedSomething(const RunFacts& facts, const RunRecord& run, const Baseline& baseline);

Verdict classify(const RunFacts& facts, const RunRecord& run, const RunRecord& check,
                 const Baseline& baseline);

// The signature of a committed error log line (JSON): return code and the
// location word of every SRC, which the entry's ids do not change.
std::string errorLogSignature(const std::string& jsonLine);

}  // namespace sweep
