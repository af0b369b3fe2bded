// What one sweep run leaves for the runner to judge, written by the
// process that ran it and read back by the runner: every call that can
// report a failure, in call order, with whether it did; the answers the
// repository gave (listings, counts, the current dump); the stream an
// offload extracted; DeleteDump's answers beside what was left behind.
// The verification process adds the problems it found in what the run
// left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ErrlEntry;

namespace sweep {

struct Call {
    std::string name;
    bool ok;
};

struct Answer {
    std::string name;
    std::string value;
};

// One DeleteDump (or DeleteDump_nolock) answer and the answer that what
// was left calls for: true exactly when the dump named files and its
// summary file is gone.
struct Deletion {
    std::string dump;
    bool answer;
    bool expected;
};

// A problem the verification found, by outcome class name.
struct Problem {
    std::string outcome;
    std::string detail;
};

class RunRecord {
public:
    // A call that reports failure by its result.
    void call(const std::string& name, bool ok) { calls.push_back({name, ok}); }
    // A call that returns an entry: the entry is committed, so that the
    // error log holds it, and the call is recorded as failed. True when
    // there was no entry.
    bool entry(const std::string& name, ErrlEntry* e);
    void answer(const std::string& name, const std::string& value) { answers.push_back({name, value}); }

    bool save(const std::string& dir) const;
    bool load(const std::string& dir);

    std::vector<Call> calls;
    std::vector<Answer> answers;
    std::vector<Deletion> deletions;
    std::vector<Problem> problems;
    // The whole stream of the system dump was extracted, every request
    // answered without an entry.
    bool extracted = false;
    std::string stream;
    // A dump whose creation succeeded was gone before its deletion.
    bool vanished = false;
};

}  // namespace sweep
