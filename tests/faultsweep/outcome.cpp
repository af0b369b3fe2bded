// Outcome classes and the classification of one run.
#include "outcome.h"

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "checker.h"
#include "lifecycle.h"
#include "rules.h"
#include "symptoms.h"

namespace sweep {

const char kUnaffected[] = "unaffected";
const char kReported[] = "reported, repository consistent";
const char kPrescribed[] = "prescribed: unreadable summary removes the dump";
const char kPrescribedConsole[] = "prescribed: console record left partly empty";
const char kPrescribedFileSystemUse[] = "prescribed: file-system use entry not written";
const char kWrongBytes[] = "FINDING silent wrong bytes";
const char kFalseAnswer[] = "FINDING false answer";
const char kMissedDamage[] = "FINDING damage platdump check does not find";
const char kHang[] = "FINDING hang";
const char kCrash[] = "FINDING crash";
const char kSanitizer[] = "FINDING sanitizer report";
const char kInconsistent[] = "FINDING inconsistent repository";

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
    if (until.empty()) return true;
    for (size_t i = 0; i < run.steps.size(); ++i)
        if (run.steps[i].name == until) return f.order < i;
    return true;
}

int weight(Symptom::Kind kind) {
    static const Symptom::Kind order[] = {Symptom::AtRest,    Symptom::Vanished,      Symptom::Deletion,
                                          Symptom::StreamBad, Symptom::StreamDiffers, Symptom::Answer};
    return static_cast<int>(std::find(std::begin(order), std::end(order), kind) - std::begin(order));
}

// The finding a symptom no rule explains makes.
Verdict unexplained(const Symptom& s) {
    switch (s.kind) {
        case Symptom::Deletion:
        case Symptom::Answer:
            return {kFalseAnswer, s.detail + ", and no rule prescribes it"};
        case Symptom::AtRest:
            return {kWrongBytes,
                    dumpName(s.dump) + " as it lay " + s.when + ": " + s.detail + ", and no rule prescribes it"};
        default:
            return {kWrongBytes, s.detail + ", and no rule prescribes it"};
    }
}

}  // namespace

bool reportedSomething(const RunFacts& facts, const RunRecord& run, const Baseline& baseline) {
    std::map<std::string, int> surplus;
    for (const std::string& s : facts.errorLogs) ++surplus[s];
    for (const std::string& s : baseline.errorLogs) --surplus[s];
    for (const auto& [signature, n] : surplus)
        if (n > 0) return true;
    std::map<std::string, int> failed;
    for (const Call& c : run.calls)
        if (!c.ok) ++failed[c.name];
    for (const Call& c : baseline.record.calls)
        if (!c.ok) --failed[c.name];
    for (const auto& [name, n] : failed)
        if (n > 0) return true;
    // DeleteDump reports a deletion that did not go through by its answer.
    for (const Deletion& d : run.deletions)
        if (!d.answer) return true;
    return false;
}

Verdict classify(const RunFacts& facts, const RunRecord& run, const RunRecord& check, const Baseline& baseline) {
    for (const ProcessEnd* end : {&facts.lifecycle, &facts.check})
        if (Verdict v = abnormalEnd(*end); !v.outcome.empty()) return v;
    if (!facts.haveRecord) return {kCrash, "the lifecycle left no record"};
    for (const Problem& p : check.problems) return {p.outcome, p.detail};
    for (const Deletion& d : run.deletions)
        if (d.answer && !d.expected)
            return {kFalseAnswer, "DeleteDump of the " + d.dump + " answered true, and the dump is not gone"};
    for (const CheckFinding& f : check.found)
        if (f.kind == kCheckCannotRead) return {kInconsistent, "platdump check " + f.when + ": " + f.detail};
    if (std::string missed = damageCheckMisses(check); !missed.empty()) return {kMissedDamage, missed};

    // Every symptom must be explained by a rule for one of the faults that
    // fired: the first fault, in firing order, that a rule explains it by
    // (the first such rule in table order).
    const bool reported = reportedSomething(facts, run, baseline);
    const RuleContext context{facts, run, check, baseline};
    // The symptoms in the order of what they say of the dump: what lies in
    // the repository first, the answers last; the run takes the class of
    // the rule that explains the first.
    std::vector<Symptom> symptoms = symptomsOf(run, check, baseline, reported);
    std::stable_sort(symptoms.begin(), symptoms.end(),
                     [](const Symptom& a, const Symptom& b) { return weight(a.kind) < weight(b.kind); });
    const Rule* first = nullptr;
    for (const Symptom& s : symptoms) {
        const Rule* explaining = nullptr;
        for (const Fired& f : facts.fired) {
            if (!firedBefore(f, s, run)) continue;
            for (const Rule& rule : rules())
                if (rule.explains(context, f, s)) {
                    explaining = &rule;
                    break;
                }
            if (explaining) break;
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
