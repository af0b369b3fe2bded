// Outcome classes and the classification of one run.
#include "outcome.h"

#include <sys/wait.h>

#include <csignal>
#include <map>
#include <nlohmann/json.hpp>

#include "verify.h"

namespace sweep {

const char kUnaffected[] = "unaffected";
const char kReported[] = "reported, repository consistent";
const char kPrescribed[] = "prescribed: unreadable summary removes the dump";
const char kWrongBytes[] = "FINDING silent wrong bytes";
const char kFalseAnswer[] = "FINDING false answer";
const char kHang[] = "FINDING hang";
const char kCrash[] = "FINDING crash";
const char kSanitizer[] = "FINDING sanitizer report";
const char kInconsistent[] = "FINDING inconsistent repository";

const std::vector<const char*>& outcomeClasses() {
    static const std::vector<const char*> all = {kUnaffected, kReported,  kPrescribed, kWrongBytes, kFalseAnswer,
                                                 kHang,       kCrash,     kSanitizer,  kInconsistent};
    return all;
}

bool accepted(const std::string& outcome) {
    return outcome == kUnaffected || outcome == kReported || outcome == kPrescribed;
}

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

// More committed logs of some signature than the baseline has, or a call
// that failed where it succeeded in the baseline.
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
    return false;
}

// The first answer that differs from the baseline's; empty when none does.
std::string differingAnswer(const RunRecord& run, const RunRecord& base) {
    std::multimap<std::string, std::string> expected;
    for (const Answer& a : base.answers) expected.emplace(a.name, a.value);
    for (const Answer& a : run.answers) {
        auto [from, to] = expected.equal_range(a.name);
        bool seen = false;
        for (auto it = from; it != to && !seen; ++it) seen = it->second == a.value;
        if (!seen) return a.name + " is \"" + a.value + "\"";
    }
    return "";
}

bool firedOnSummaryOpenOrRead(const std::vector<std::string>& fired) {
    for (const std::string& line : fired)
        if ((line.rfind("UtilFile.Open ", 0) == 0 || line.rfind("UtilFile.read ", 0) == 0) &&
            line.find(".summary") != std::string::npos)
            return true;
    return false;
}

}  // namespace

Verdict classify(const RunFacts& facts, const RunRecord& run, const RunRecord& check, const Baseline& baseline) {
    for (const ProcessEnd* end : {&facts.lifecycle, &facts.check})
        if (Verdict v = abnormalEnd(*end); !v.outcome.empty()) return v;
    if (!facts.haveRecord) return {kCrash, "the lifecycle left no record"};

    for (const Deletion& d : run.deletions)
        if (d.answer != d.expected)
            return {kFalseAnswer, "DeleteDump of the " + d.dump + " answered " + std::to_string(d.answer)};
    if (run.extracted) {
        if (std::string problem = streamProblem(run.stream); !problem.empty())
            return {kWrongBytes, "the extracted stream: " + problem};
    }
    for (const Problem& p : check.problems) return {p.outcome, p.detail};

    const bool prescribed = run.vanished && firedOnSummaryOpenOrRead(facts.fired);
    if (prescribed) return {kPrescribed, ""};
    const bool reported = reportedSomething(facts, run, baseline);
    if (run.extracted && run.stream != baseline.record.stream && !reported)
        return {kWrongBytes, "the stream differs from the no-fault stream, and nothing was reported"};
    if (std::string answer = differingAnswer(run, baseline.record); !answer.empty() && !reported)
        return {kFalseAnswer, answer + ", and nothing was reported"};
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
