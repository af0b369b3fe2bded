// The classification of one run: its symptoms, the rules that explain
// them, and the outcome class.
#include "sweep.h"

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>


namespace sweep {

namespace {

// The dump an answer is about: "state of <id>" names it; the lifecycle's
// other answers are the system dump's, or the repository's (0).
unsigned answerDump(const std::string& name) {
    const std::string state = "state of ";
    if (name.compare(0, state.size(), state) == 0)
        return static_cast<unsigned>(std::strtoul(name.c_str() + state.size(), nullptr, 10));
    if (name == "ids" || name == "CountDumps" || name == "current" || name == "HWDATA files") return 0;
    return kSystemDump;
}

// Check findings by moment and dump.
std::map<std::pair<std::string, unsigned>, Symptom> atRest(const RunRecord& check) {
    std::map<std::pair<std::string, unsigned>, Symptom> found;
    for (const CheckFinding& f : check.found) {
        Symptom& s = found[{f.when, f.dump}];
        s.kind = Symptom::AtRest;
        s.dump = f.dump;
        s.when = f.when;
        s.kinds.insert(f.kind);
        if (s.detail.empty()) s.detail = f.kind + " " + f.path + ": " + f.detail;
    }
    return found;
}

// "the system dump" or "the unit dump" for a dump id.
std::string dumpName(unsigned dump) {
    return dump == kSystemDump ? "the system dump" : dump == kUnitDump ? "the unit dump" : "no dump";
}

// Every symptom of the run in the order of their kinds; the answers and a
// stream that differs but decodes only when nothing was reported (a report
// accounts for them).
std::vector<Symptom> symptomsOf(const Run& run, const Run& baseline, bool reported) {
    const RunRecord& r = run.record;
    const std::string& base = baseline.record.stream;
    std::vector<Symptom> symptoms;
    for (const auto& [key, s] : atRest(run.check)) symptoms.push_back(s);
    if (r.vanished) symptoms.push_back({Symptom::Vanished, 0, "", {}, "a dump vanished before its deletion"});
    for (const Deletion& d : r.deletions)
        if (!d.answer && d.expected)
            symptoms.push_back({Symptom::Deletion, d.dump, "", {},
                                "DeleteDump of " + dumpName(d.dump) + " answered false, and the dump is gone"});
    if (r.extracted) {
        const std::string problem = streamProblem(r.stream);
        const size_t differsFrom = std::mismatch(r.stream.begin(), r.stream.end(), base.begin(), base.end()).first -
                                   r.stream.begin();
        if (!problem.empty())
            symptoms.push_back({Symptom::StreamBad, kSystemDump, "", {}, "the extracted stream: " + problem});
        else if (r.stream != base && !reported)
            symptoms.push_back({Symptom::StreamDiffers, kSystemDump, "", {},
                                "the stream differs from the no-fault stream from byte " +
                                    std::to_string(differsFrom) + " on"});
    }
    if (reported) return symptoms;
    // The answers that are not among the baseline's.
    for (const Answer& a : r.answers)
        if (std::none_of(baseline.record.answers.begin(), baseline.record.answers.end(),
                         [&](const Answer& b) { return b.name == a.name && b.value == a.value; }))
            symptoms.push_back({Symptom::Answer, answerDump(a.name), "", {}, a.name + " is \"" + a.value + "\""});
    return symptoms;
}

// A process that did not end normally; empty when it did.
Verdict abnormalEnd(const ProcessEnd& end) {
    if (end.sanitizer) return {kSanitizer, "in the " + end.what};
    if (WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGALRM) return {kHang, "the " + end.what + " timed out"};
    if (WIFSIGNALED(end.status))
        return {kCrash, "the " + end.what + " died of signal " + std::to_string(WTERMSIG(end.status))};
    if (!WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0)
        return {kCrash, "the " + end.what + " exited with " + std::to_string(WEXITSTATUS(end.status))};
    return {};
}

// What lies in the repository at a moment, and the stream extracted, can
// only come of faults that fired before.
bool firedBefore(const Fired& f, const Symptom& s, const RunRecord& run) {
    std::string until;
    if (s.kind == Symptom::AtRest && s.when != kAfterRun) until = snapshotStep(s.when);
    if (s.kind == Symptom::StreamBad || s.kind == Symptom::StreamDiffers) until = snapshotStep(kAfterOffload);
    for (size_t i = 0; i < run.steps.size() && !until.empty(); ++i)
        if (run.steps[i].name == until) return f.order < i;
    return true;
}

// The finding a symptom no rule explains makes.
Verdict unexplained(const Symptom& s) {
    const std::string why = s.detail + ", and no rule prescribes it";
    if (s.kind == Symptom::Deletion || s.kind == Symptom::Answer) return {kFalseAnswer, why};
    if (s.kind == Symptom::AtRest) return {kWrongBytes, dumpName(s.dump) + " as it lay " + s.when + ": " + why};
    return {kWrongBytes, why};
}

// Whether some string is in run more often than in baseline.
bool surplus(const std::vector<std::string>& run, const std::vector<std::string>& baseline) {
    std::map<std::string, int> n;
    for (const std::string& s : run) ++n[s];
    for (const std::string& s : baseline) --n[s];
    return std::any_of(n.begin(), n.end(), [](const auto& entry) { return entry.second > 0; });
}

}  // namespace

std::vector<const char*> outcomeClasses() {
    std::vector<const char*> classes = {kUnaffected, kReported};
    for (const Rule& r : rules()) classes.push_back(r.outcome);
    classes.insert(classes.end(), {kWrongBytes, kFalseAnswer, kMissedDamage, kHang, kCrash, kSanitizer, kInconsistent});
    return classes;
}

bool accepted(const std::string& outcome) { return outcome.compare(0, 7, "FINDING") != 0; }

Verdict classify(const Run& run, const Run& baseline) {
    for (const ProcessEnd* end : {&run.lifecycleEnd, &run.checkEnd})
        if (Verdict v = abnormalEnd(*end); !v.outcome.empty()) return v;
    if (!run.haveRecord) return {kCrash, "the lifecycle left no record"};
    if (!run.check.problems.empty()) return run.check.problems.front();
    for (const Deletion& d : run.record.deletions)
        if (d.answer && !d.expected)
            return {kFalseAnswer, "DeleteDump of " + dumpName(d.dump) + " answered true, and the dump is not gone"};
    for (const CheckFinding& f : run.check.found)
        if (f.kind == kCheckCannotRead) return {kInconsistent, "platdump check " + f.when + ": " + f.detail};
    // A dump damaged at rest (its offload did not decode) that `platdump
    // check` found nothing in at that moment.
    const auto found = atRest(run.check);
    for (const Damage& d : run.check.damage)
        if (!found.count({d.when, d.dump}))
            return {kMissedDamage, dumpName(d.dump) + " as it lay " + d.when + " does not offload whole (" +
                                       d.problem + "), and platdump check finds nothing in it"};

    // Every symptom must be explained by a rule for one of the faults that
    // fired: the first fault, in firing order, that a rule explains it by
    // (the first such rule in table order). The run takes the class of the
    // rule that explains the first symptom.
    // DeleteDump reports a deletion that did not go through by its answer.
    const bool reported = surplus(run.errorLogs, baseline.errorLogs) ||
                          surplus(run.record.failedCalls, baseline.record.failedCalls) ||
                          std::any_of(run.record.deletions.begin(), run.record.deletions.end(),
                                      [](const Deletion& d) { return !d.answer; });
    const Rule* first = nullptr;
    for (const Symptom& s : symptomsOf(run, baseline, reported)) {
        const Rule* explaining = nullptr;
        for (auto f = run.fired.begin(); f != run.fired.end() && !explaining; ++f) {
            if (!firedBefore(*f, s, run.record)) continue;
            for (auto rule = rules().begin(); rule != rules().end() && !explaining; ++rule)
                if (rule->explains(run, baseline, *f, s)) explaining = &*rule;
        }
        if (!explaining) return unexplained(s);
        if (!first) first = explaining;
    }
    if (first) return {first->outcome, ""};
    return {reported ? kReported : kUnaffected, ""};
}

}  // namespace sweep
