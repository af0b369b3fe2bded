// What one sweep run leaves for the runner to judge, written by the
// process that ran it and read back by the runner: every call that
// reported a failure, in call order; the answers the repository gave (listings,
// counts, the current dump); the stream an offload extracted; DeleteDump's
// answers beside what was left behind. The verification process adds the
// problems it found in what the run left, what `platdump check` found at each
// moment the sweep checks, and the dumps that did not offload whole at rest
// then.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class ErrlEntry;

namespace sweep {

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

}  // namespace sweep
