// The fault sweep's declarations: the record a run leaves, the lifecycle
// that leaves it, the check of what it left, and the outcome classes and
// rules that judge it.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platdump/dumpExtractData.h"

class ErrlEntry;

namespace sweep {

// ==== The run record (runner.cpp).
//
// What one sweep run leaves for the runner to judge, written by the
// process that ran it and read back by the runner: every call that
// reported a failure, in call order; the answers the repository gave (listings,
// counts, the current dump); the stream an offload extracted; DeleteDump's
// answers beside what was left behind. The verification process adds the
// problems it found in what the run left, what `platdump check` found at each
// moment the sweep checks, and the dumps that did not offload whole at rest
// then.

struct Answer {
    std::string name;
    std::string value;
};

// A step of the lifecycle and how far the simulation's log of fired faults
// had grown when it began: a fault logged at or after that offset (and
// before the next step's) fired while the step ran.
struct Step {
    std::string name;
    uint64_t firedFrom;
};

// One DeleteDump (or DeleteDump_nolock) answer and the answer that what
// was left calls for: true exactly when the dump named files and its
// summary file is gone.
struct Deletion {
    unsigned dump;
    bool answer;
    bool expected;
};

// A finding of `platdump check` (its kind, the dump it belongs to, 0 for
// none, and its detail) on the repository at one moment of the run (when).
struct CheckFinding {
    std::string when;
    std::string kind;
    unsigned dump;
    std::string path;
    std::string detail;
};

// A complete dump whose stream (without main store), offloaded through the
// library with no fault armed, does not decode as it lay at one moment of
// the run (when): the decoder's problem.
struct Damage {
    std::string when;
    unsigned dump;
    std::string problem;
};

// An outcome class and why: a problem the verification found, or a run's verdict.
struct Verdict {
    std::string outcome;
    std::string detail;
};

class RunRecord {
public:
    // A call that reports failure by its result.
    void call(const std::string& name, bool ok) {
        if (!ok) failedCalls.push_back(name);
    }
    // A call that returns an entry: the entry is committed, so that the
    // error log holds it, and the call is recorded as failed. True when
    // there was no entry.
    bool entry(const std::string& name, ErrlEntry* e);
    void answer(const std::string& name, const std::string& value) { answers.push_back({name, value}); }
    // The lifecycle begins step name now.
    void step(const std::string& name);

    // record.json and stream.bin in dir.
    bool save(const std::string& dir) const;
    bool load(const std::string& dir);

    std::vector<std::string> failedCalls;  // in call order
    std::vector<Answer> answers;
    std::vector<Step> steps;
    std::vector<Deletion> deletions;
    std::vector<Verdict> problems;
    std::vector<CheckFinding> found;
    std::vector<Damage> damage;
    // The whole stream of the system dump was extracted, every request
    // answered without an entry.
    bool extracted = false;
    std::string stream;
    // A dump whose creation succeeded was gone before its deletion.
    bool vanished = false;
};

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Answer, name, value)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Step, name, firedFrom)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Deletion, dump, answer, expected)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(CheckFinding, when, kind, dump, path, detail)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Damage, when, dump, problem)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Verdict, outcome, detail)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(RunRecord, failedCalls, answers, steps, deletions, problems, found, damage, extracted,
                                   vanished)

// A whole file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

// ==== The lifecycle (lifecycle.cpp).
//
// The sweep's lifecycle: what collectors, an offload program and a
// manager do with two dumps on one machine, reaching every exported
// operation of the library. A system dump is taken in full (status log,
// client and SRC, hardware and service-processor sections of two nodes,
// the system section, main store through an MDRT, a section left behind
// by a crashed writer and repaired at completion), listed, counted and
// extracted in 64 KiB requests with main store; a hardware-unit dump
// whose main store cannot be read brings the extraction to request a
// checkstop IPL, has its main store withdrawn and is deleted under the
// caller's own extraction semaphore; the system dump is deleted last.
// Every call that can fail is recorded, and so is every answer; the
// lifecycle goes on after a failure wherever a real caller could. It marks
// each step it takes, so that every fault that fires is known by the step
// that was running, and it can take snapshots of the repository around
// the offload for `platdump check`.

// ---- The simulated machine every run starts from: the same in every run
// so that two runs' streams compare byte for byte: a standing
// clock, fixed free-space figures, the registry values a dump records and
// extraction reads, a console that answers, and main store holding the
// regions the system dump lists. The error-log numbering starts afresh
// with each root.

// The two dumps of the lifecycle: a system dump taken in full, and a
// hardware-unit dump whose main-store region lies beyond main store, so
// that its reads fail and lead to a checkstop IPL request.
constexpr unsigned kSystemDump = 0x1A;
constexpr unsigned kUnitDump = 0x0100002B;

// Lays the machine out on the current simulation root.
void prepareMachine();

// ---- The lifecycle.

// The kinds of step the lifecycle marks (RunRecord::step), each named
// after the dump it works on: "system dump: summary setter". (A kind
// that no rule names and that is marked in one place is named there.)
namespace step {
constexpr char kCreation[] = "creation";
constexpr char kOpening[] = "opening";
constexpr char kSetter[] = "summary setter";
constexpr char kFailureMarking[] = "collection-failure marking";
constexpr char kSrc[] = "SRC saved and read";
constexpr char kGetter[] = "summary getter";
constexpr char kRegionPrimitives[] = "region primitives";
constexpr char kNodalWrite[] = "nodal section written";
constexpr char kSystemSection[] = "system section gathered";
constexpr char kCompletion[] = "completion";
constexpr char kDestruction[] = "summary destroyed";
constexpr char kListing[] = "listing";
constexpr char kOffload[] = "offload";
constexpr char kCheckstop[] = "checkstop request";
constexpr char kWithdrawal[] = "main store withdrawn";
constexpr char kDeletion[] = "deletion";
constexpr char kMaintenanceLock[] = "code-maintenance lock";
constexpr char kSystemDump[] = "system dump";
constexpr char kUnitDump[] = "unit dump";
constexpr char kRepository[] = "repository";
}  // namespace step

// The name of the step that marks a snapshot of the moment when
// ("snapshot: before the offload").
std::string snapshotStep(const std::string& when);

// A snapshot of this service processor's files as they stand, taken with
// plain host file calls (no platform call, so no fault fires): the tree
// primary/ of the root copied into <snapshot>/primary, for `platdump check`
// and an offload to read later on a root of its own. Empty: none is taken.
struct Snapshots {
    std::string beforeOffload, afterOffload;
};

// The whole lifecycle on the current simulation root.
void runLifecycle(RunRecord& record, const Snapshots& snapshots);

// Host path of a dump's summary file on the primary.
std::string summaryHostPath(unsigned id);

// ==== The check (verify.cpp).
//
// The check of what a run left, in a fresh process with every fault
// removed: the repository lists; each dump in it opens, offloads (without
// main store) a stream the tool's decoder accepts, and deletes with an
// answer that matches what is left; and after the orphan sweep nothing
// remains. Problems go to the record by outcome class, a stream that does
// not decode as the dump's damage; the same offload judges the dumps of a
// snapshot as they lay. `platdump check`'s passes, called as a library
// with the mirror left out, judge the repository of the run's root and of
// each snapshot the lifecycle took; each finding goes to the record with
// the moment it stands for.

// The moments the sweep checks.
constexpr char kBeforeOffload[] = "before the offload";
constexpr char kAfterOffload[] = "after the offload";
constexpr char kAfterRun[] = "after the run";

// The kind under which the record keeps a file the check could not read.
constexpr char kCheckCannotRead[] = "unreadable";

// The check process's work, with no fault armed: `platdump check` and an
// offload of every complete dump on each snapshot that was taken (its
// moment's damage), then on the run's root `platdump check` and the
// verification (after the run).
void checkRun(RunRecord& record, const std::string& root, const Snapshots& snapshots);

// Extracts the first size bytes of dump id's stream in 64 KiB requests,
// appending what each answers to stream; stops at the first request that
// returns an entry (given to failed, the caller's) or answers no bytes.
// True when the whole stream came.
bool extractStream(unsigned id, uint64_t size, bool withMainStore, dumpDMAEhandle* handle, std::string& stream,
                   ErrlEntry*& failed);

// Decodes a whole offload stream with the tool's decoder; empty when it is
// consistent, else the first error and the number of errors.
std::string streamProblem(const std::string& stream);

// The items of a stream's nodal sections in stream order, each as its
// section kind, entry id (or hardware words) and bytes: what the dump
// holds, whatever the sizes around it say.
std::vector<std::string> streamItems(const std::string& stream);

// ==== The outcomes (outcome.cpp).
//
// The outcome classes of a sweep run and the rules that assign them. A
// single failed platform call may end in one of three accepted ways: it
// changes nothing that anyone can see; the operation reports it (a
// returned or committed error log) and the repository stays consistent;
// or the contract prescribes the outcome (a Rule). What a run left that
// the no-fault run did not is a symptom, and each must be explained by a
// rule for one of the faults that fired; a symptom no rule explains is a
// finding.

// Accepted outcomes; the prescribed ones are those of the rules (outcome.cpp).
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

}  // namespace sweep
