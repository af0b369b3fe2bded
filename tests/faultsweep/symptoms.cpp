// The symptoms of one run.
#include "symptoms.h"

#include <algorithm>
#include <cstdlib>

#include "machine.h"
#include "verify.h"

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

}  // namespace

std::string dumpName(unsigned dump) {
    return dump == kSystemDump ? "the system dump" : dump == kUnitDump ? "the unit dump" : "no dump";
}

std::string damageCheckMisses(const RunRecord& check) {
    const std::map<std::pair<std::string, unsigned>, Symptom> found = atRest(check);
    for (const Damage& d : check.damage)
        if (!found.count({d.when, d.dump}))
            return dumpName(d.dump) + " as it lay " + d.when + " does not offload whole (" + d.problem +
                   "), and platdump check finds nothing in it";
    return "";
}

std::vector<Symptom> symptomsOf(const Run& run, const Run& baseline, bool reported) {
    const RunRecord& r = run.record;
    const std::string& base = baseline.record.stream;
    std::vector<Symptom> symptoms;
    for (const auto& [key, s] : atRest(run.check)) symptoms.push_back(s);
    if (r.vanished) symptoms.push_back({Symptom::Vanished, 0, "", {}, "a dump vanished before its deletion"});
    for (const Deletion& d : r.deletions)
        if (!d.answer && d.expected)
            symptoms.push_back({Symptom::Deletion, d.dump == "unit dump" ? kUnitDump : kSystemDump, "", {},
                                "DeleteDump of the " + d.dump + " answered false, and the dump is gone"});
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

}  // namespace sweep
