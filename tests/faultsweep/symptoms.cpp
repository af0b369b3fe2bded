// The symptoms of one run.
#include "symptoms.h"

#include <cstdlib>
#include <map>

#include "checker.h"
#include "machine.h"
#include "verify.h"

namespace sweep {

namespace {

unsigned deletedDump(const std::string& name) { return name == "unit dump" ? kUnitDump : kSystemDump; }

// The dump an answer is about: "state of <id>" names it; the lifecycle's
// other answers are the system dump's, or the repository's (0).
unsigned answerDump(const std::string& name) {
    const std::string state = "state of ";
    if (name.compare(0, state.size(), state) == 0)
        return static_cast<unsigned>(std::strtoul(name.c_str() + state.size(), nullptr, 10));
    if (name == "ids" || name == "CountDumps" || name == "current" || name == "HWDATA files") return 0;
    return kSystemDump;
}

// The answers that are not among the baseline's.
std::vector<Answer> differingAnswers(const RunRecord& run, const RunRecord& base) {
    std::multimap<std::string, std::string> expected;
    for (const Answer& a : base.answers) expected.emplace(a.name, a.value);
    std::vector<Answer> differing;
    for (const Answer& a : run.answers) {
        auto [from, to] = expected.equal_range(a.name);
        bool seen = false;
        for (auto it = from; it != to && !seen; ++it) seen = it->second == a.value;
        if (!seen) differing.push_back(a);
    }
    return differing;
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

size_t firstDifference(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return at;
}

}  // namespace

std::string dumpName(unsigned dump) {
    return dump == kSystemDump ? "the system dump" : dump == kUnitDump ? "the unit dump" : "no dump";
}

std::string damageCheckMisses(const RunRecord& check) {
    std::map<std::pair<std::string, unsigned>, Symptom> found = atRest(check);
    for (const Damage& d : check.damage)
        if (!found.count({d.when, d.dump}))
            return dumpName(d.dump) + " as it lay " + d.when + " does not offload whole (" + d.problem +
                   "), and platdump check finds nothing in it";
    return "";
}

const char* symptomName(Symptom::Kind kind) {
    static const char* const names[] = {"Vanished", "Deletion", "AtRest", "StreamBad", "StreamDiffers", "Answer"};
    return names[kind];
}

std::vector<Symptom> symptomsOf(const RunRecord& run, const RunRecord& check, const Baseline& baseline,
                                bool reported) {
    std::vector<Symptom> symptoms;
    if (run.vanished) symptoms.push_back({Symptom::Vanished, 0, "", {}, "a dump vanished before its deletion"});
    for (const Deletion& d : run.deletions)
        if (!d.answer && d.expected)
            symptoms.push_back({Symptom::Deletion, deletedDump(d.dump), "", {},
                                "DeleteDump of the " + d.dump + " answered false, and the dump is gone"});
    for (const auto& [key, s] : atRest(check)) symptoms.push_back(s);
    if (run.extracted) {
        const std::string problem = streamProblem(run.stream);
        if (!problem.empty())
            symptoms.push_back({Symptom::StreamBad, kSystemDump, "", {}, "the extracted stream: " + problem});
        else if (run.stream != baseline.record.stream && !reported)
            symptoms.push_back({Symptom::StreamDiffers, kSystemDump, "", {},
                                "the stream differs from the no-fault stream from byte " +
                                    std::to_string(firstDifference(run.stream, baseline.record.stream)) + " on"});
    }
    if (!reported)
        for (const Answer& a : differingAnswers(run, baseline.record))
            symptoms.push_back({Symptom::Answer, answerDump(a.name), "", {}, a.name + " is \"" + a.value + "\""});
    return symptoms;
}

}  // namespace sweep
