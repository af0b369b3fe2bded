// Outcome classes and the classification of one run.
#include "outcome.h"

#include <sys/wait.h>

#include <algorithm>
#include <csignal>

#include "lifecycle.h"
#include "rules.h"
#include "symptoms.h"
#include "verify.h"

namespace sweep {

const std::vector<const char*>& outcomeClasses() {
    static const std::vector<const char*> all = [] {
        std::vector<const char*> classes = {kUnaffected, kReported};
        for (const Rule& r : rules()) classes.push_back(r.outcome);
        for (const char* finding : {kWrongBytes, kFalseAnswer, kMissedDamage, kHang, kCrash, kSanitizer, kInconsistent})
            classes.push_back(finding);
        return classes;
    }();
    return all;
}

bool accepted(const std::string& outcome) { return outcome.compare(0, 7, "FINDING") != 0; }

namespace {

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

bool reportedSomething(const Run& run, const Run& baseline) {
    // DeleteDump reports a deletion that did not go through by its answer.
    return surplus(run.errorLogs, baseline.errorLogs) ||
           surplus(run.record.failedCalls, baseline.record.failedCalls) ||
           std::any_of(run.record.deletions.begin(), run.record.deletions.end(),
                       [](const Deletion& d) { return !d.answer; });
}

Verdict classify(const Run& run, const Run& baseline) {
    for (const ProcessEnd* end : {&run.lifecycleEnd, &run.checkEnd})
        if (Verdict v = abnormalEnd(*end); !v.outcome.empty()) return v;
    if (!run.haveRecord) return {kCrash, "the lifecycle left no record"};
    if (!run.check.problems.empty()) return run.check.problems.front();
    for (const Deletion& d : run.record.deletions)
        if (d.answer && !d.expected)
            return {kFalseAnswer, "DeleteDump of the " + d.dump + " answered true, and the dump is not gone"};
    for (const CheckFinding& f : run.check.found)
        if (f.kind == kCheckCannotRead) return {kInconsistent, "platdump check " + f.when + ": " + f.detail};
    if (std::string missed = damageCheckMisses(run.check); !missed.empty()) return {kMissedDamage, missed};

    // Every symptom must be explained by a rule for one of the faults that
    // fired: the first fault, in firing order, that a rule explains it by
    // (the first such rule in table order). The run takes the class of the
    // rule that explains the first symptom.
    const bool reported = reportedSomething(run, baseline);
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

std::string errorLogSignature(const std::string& line) {
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded()) return "unreadable";
    std::string signature = "rc " + std::to_string(entry.value("rc", 0u));
    for (const auto& src : entry.value("srcs", nlohmann::json::array()))
        signature += " " + std::to_string(src.at("words").at(0).get<uint32_t>());
    return signature;
}

}  // namespace sweep
