// The classification of one run: its symptoms, the rules that explain
// them, and the outcome class.
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "sweep.h"

namespace sweep {

namespace {

// ---- Symptoms.

// In the order of what they say of the dump: what lies in the repository
// first, the answers last. A run takes the class of the rule that explains
// its first.
struct Symptom {
    enum Kind {
        AtRest,         // `platdump check` found something in the repository at a moment
        Vanished,       // a dump whose creation succeeded was gone before its deletion
        Deletion,       // DeleteDump answered false, while its dump named files and is gone
        StreamBad,      // the extracted stream of the system dump does not decode
        StreamDiffers,  // it decodes, but differs from the no-fault stream
        Answer,         // a listing, count, state or getter answer differs
    };
    Kind kind;
    unsigned dump = 0;              // the dump it concerns; 0: none, or any
    std::string when;               // AtRest: the moment
    std::set<std::string> kinds;    // AtRest: the kinds of finding there
    std::string detail;
};

// ---- Rules: each prescribes what a failed platform call
// leaves behind, and explains a symptom when one of the faults that fired
// could, by it, have brought the symptom about: the fault's call, the file
// it hit (whose dump, a summary or a nodal file) and the step of the
// lifecycle that was running are what the sweep observes.

struct Rule {
    const char* outcome;               // "prescribed: ...", the rule in plain words
    std::vector<std::string> calls;    // the fault names it concerns; empty: any
    bool (*file)(const Fired& fault);  // the file it hit: any, a dump's, a summary, nodal, a TOC
    std::vector<std::string> steps;    // the kinds of step it concerns; empty: any
    // Whether what the fault left can be the symptom; dump is the one whose
    // file the fault hit (0: none).
    bool (*leaves)(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom, unsigned dump);

    bool explains(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom) const;
};

// ---- What a fault hit, and when.

// The kind of step that was running ("summary setter"), without its dump.
std::string stepKind(const Fired& f) {
    const size_t colon = f.step.find(": ");
    return colon == std::string::npos ? f.step : f.step.substr(colon + 2);
}

bool duringOffload(const Fired& f) { return stepKind(f) == step::kOffload; }

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
}

// The dump whose file the call was on: the id's eight hexadecimal digits
// in its name (the temporary SRC file has them in lower case); 0 for none.
unsigned subjectDump(const Fired& f) {
    for (unsigned id : {kSystemDump, kUnitDump})
        for (const char* format : {"%08X", "%08x"}) {
            char digits[16];
            std::snprintf(digits, sizeof digits, format, id);
            if (f.subject.find(digits) != std::string::npos) return id;
        }
    return 0;
}

bool anyFile(const Fired&) { return true; }
bool ofDump(const Fired& f) { return subjectDump(f) != 0; }
bool onSummary(const Fired& f) {
    return f.subject.size() > 8 && f.subject.compare(f.subject.size() - 8, 8, ".summary") == 0;
}

// A nodal section's TOC or data file ("0000001A.HwTOC0", "0000001A.SysData").
bool onNodal(const Fired& f) {
    for (const char* part : {".HwTOC", ".HwData", ".SpTOC", ".SpData", ".SysTOC", ".SysData"})
        if (f.subject.find(part) != std::string::npos) return true;
    return false;
}

bool onToc(const Fired& f) { return onNodal(f) && f.subject.find("TOC") != std::string::npos; }

const std::vector<std::string> kFileAccess = {"UtilFile.seek", "UtilFile.read", "UtilFile.write"};
const std::vector<std::string> kConsoleCalls = {
    "kelxQueryKelManagedInfo", "NetcSessionEntry.FindSessionEntry", "NetcAddress",
    "netcConnect",             "netcSendRecv",                      "netcClose",
    "netcSessionEntryFileLock", "netcSessionEntryFileUnLock"};
// Steps in which a summary's flush runs: every destruction of an open
// summary (the listings, each offload request and the orphan sweeps open
// summaries), and completion.
const std::vector<std::string> kFlushSteps = {step::kListing,   step::kOffload,    step::kDestruction,
                                              step::kCheckstop, step::kCompletion, step::kDeletion};
// Steps in which summary getters re-read a region.
const std::vector<std::string> kGetterSteps = {step::kGetter,    step::kListing,    step::kOffload,
                                               step::kCheckstop, step::kDeletion,   step::kNodalWrite,
                                               step::kSystemSection, step::kCompletion};
const std::vector<std::string> kItemSteps = {step::kNodalWrite, step::kSystemSection};

// ---- What a symptom is.

bool is(const Symptom& s, std::initializer_list<Symptom::Kind> kinds) {
    return std::find(kinds.begin(), kinds.end(), s.kind) != kinds.end();
}

// The symptom concerns dump d (or no dump in particular).
bool of(const Symptom& s, unsigned d) { return s.dump == d || s.dump == 0; }

// An at-rest symptom whose findings are all of the kinds given.
bool foundOnly(const Symptom& s, const std::vector<std::string>& kinds) {
    return s.kind == Symptom::AtRest &&
           std::all_of(s.kinds.begin(), s.kinds.end(), [&](const std::string& k) { return listed(kinds, k); });
}

// `platdump check` found one of kinds (none given: anything) in dump d as
// it lay when.
bool found(const Run& run, unsigned d, const char* when, const std::vector<std::string>& kinds = {}) {
    return std::any_of(run.check.found.begin(), run.check.found.end(), [&](const CheckFinding& f) {
        return f.dump == d && f.when == when && listed(kinds, f.kind);
    });
}

// The stream holds the no-fault stream's items but some, in their order:
// what dropping whole items leaves.
bool lostItemsOnly(const Run& run, const Run& baseline) {
    const std::vector<std::string> have = streamItems(run.record.stream), all = streamItems(baseline.record.stream);
    size_t at = 0;
    for (const std::string& item : all)
        if (at < have.size() && have[at] == item) ++at;
    return at == have.size() && have.size() < all.size();
}

// ---- What a failure leaves.

// Whatever a summary of dump d written wrong (a field lost, a region
// written from or to the wrong place) can lead to: the dump as it lies
// (and files it no longer claims), answers, its removal by the next
// program that opens it and cannot validate it, a stream that differs,
// and one that does not decode where check found the summary wrong at
// rest when the offload read it.
bool summaryWrong(const Run& run, const Run&, const Fired& f, const Symptom& s, unsigned d) {
    if (!of(s, d)) return false;
    if (s.kind == Symptom::StreamBad)
        return found(run, d, kBeforeOffload) || (duringOffload(f) && found(run, d, kAfterOffload));
    return is(s, {Symptom::AtRest, Symptom::StreamDiffers, Symptom::Answer, Symptom::Vanished});
}

// What a nodal pair of dump d left wrong leads to: check finds it (as a
// section's finding), the stream does not decode where check found that
// before the offload, or lacks the items the pair lost, and answers differ.
bool sectionWrong(const Run& run, const Run& baseline, const Fired&, const Symptom& s, unsigned d) {
    const std::vector<std::string> kinds = {"section-inconsistent", "items-misplaced", "size-mismatch"};
    if (!of(s, d)) return false;
    if (s.kind == Symptom::AtRest) return foundOnly(s, kinds);
    const bool foundBefore = found(run, d, kBeforeOffload, kinds);
    if (s.kind == Symptom::StreamBad) return foundBefore;
    if (s.kind == Symptom::StreamDiffers) return foundBefore || lostItemsOnly(run, baseline);
    return s.kind == Symptom::Answer;
}

// The opening constructor removes a summary it cannot open or read; its
// files are orphans until the next sweep, and the listings lack it.
bool summaryRemoved(const Run&, const Run&, const Fired&, const Symptom& s, unsigned) {
    return is(s, {Symptom::Vanished, Symptom::Answer}) || foundOnly(s, {"orphan"});
}

// Two streams of one length that differ only within one console record,
// and only console calls failed.
bool consoleRecordLeftEmpty(const Run& run, const Run& baseline, const Fired&, const Symptom& s, unsigned) {
    constexpr size_t kConsoleRecord = 812;
    const std::string &a = run.record.stream, &b = baseline.record.stream;
    if (s.kind != Symptom::StreamDiffers || a.size() != b.size()) return false;
    if (!std::all_of(run.fired.begin(), run.fired.end(), [](const Fired& f) { return listed(kConsoleCalls, f.call); }))
        return false;
    size_t first = 0, last = a.size();
    while (first < a.size() && a[first] == b[first]) ++first;
    while (last > first && a[last - 1] == b[last - 1]) --last;
    return last - first <= kConsoleRecord;
}

// The run's stream holds the baseline's items but the file-system use
// entry, and nothing else differs in what the dump holds.
bool fileSystemUseLost(const Run& run, const Run& baseline, const Fired&, const Symptom& s, unsigned) {
    if (s.kind != Symptom::StreamDiffers) return false;
    const std::string fileSystemUse = std::to_string(int(3)) + " " + std::to_string(0xF00A0000u) + " ";
    std::vector<std::string> expected = streamItems(baseline.record.stream);
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [&](const std::string& item) { return item.rfind(fileSystemUse, 0) == 0; }),
                   expected.end());
    return streamProblem(run.record.stream).empty() && streamItems(run.record.stream) == expected;
}

// flush stores 0 for the named file it could not open: check finds the
// size wrong, and an offload that follows the sizes as flush stored them
// (before it, or between two of its requests) takes them.
bool unopenedSizeStored(const Run& run, const Run&, const Fired& f, const Symptom& s, unsigned d) {
    if (!of(s, d)) return false;
    if (s.kind == Symptom::AtRest) return foundOnly(s, {"size-mismatch"});
    if (is(s, {Symptom::StreamBad, Symptom::StreamDiffers}))
        return duringOffload(f) || found(run, d, kBeforeOffload, {"size-mismatch"});
    return s.kind == Symptom::Answer;
}

// Answers, and a stream built from a header or list as re-read, differ
// while the dump at rest does not.
bool answeredFromImage(const Run& run, const Run&, const Fired& f, const Symptom& s, unsigned d) {
    if (is(s, {Symptom::Answer, Symptom::StreamDiffers})) return of(s, d);
    return s.kind == Symptom::StreamBad && d == kSystemDump && duringOffload(f) &&
           std::none_of(run.check.damage.begin(), run.check.damage.end(),
                        [&](const Damage& x) { return x.dump == d && x.when == kBeforeOffload; });
}

// A section that was already wrong when check saw it before the offload.
bool sectionLeftAsItIs(const Run& run, const Run& baseline, const Fired& f, const Symptom& s, unsigned d) {
    return (s.kind == Symptom::AtRest || found(run, d, kBeforeOffload)) && sectionWrong(run, baseline, f, s, d);
}

// The pair is whole, without the dropped entry's item.
bool itemDropped(const Run& run, const Run& baseline, const Fired&, const Symptom& s, unsigned d) {
    if (!of(s, d) || found(run, d, kBeforeOffload)) return false;
    if (s.kind == Symptom::StreamDiffers) return lostItemsOnly(run, baseline);
    return s.kind == Symptom::Answer;
}

// DeleteDump answered false for the dump whose summary the fault hit.
bool deletionFalse(const Run&, const Run&, const Fired&, const Symptom& s, unsigned d) {
    return s.kind == Symptom::Deletion && d == s.dump;
}

// ... in a step on that dump (the deleting program's own opening).
bool deletionFalseOwnSummary(const Run&, const Run&, const Fired& f, const Symptom& s, unsigned d) {
    const char* own = d == kUnitDump ? step::kUnitDump : step::kSystemDump;
    return s.kind == Symptom::Deletion && d == s.dump && f.step.rfind(own, 0) == 0;
}

// Files a deletion could not remove, or the orphan sweep after it.
bool filesLeft(const Run&, const Run&, const Fired&, const Symptom& s, unsigned) {
    return s.kind == Symptom::AtRest && s.when == kAfterRun && foundOnly(s, {"file-missing", "orphan"});
}

bool Rule::explains(const Run& run, const Run& baseline, const Fired& fault, const Symptom& symptom) const {
    return listed(calls, fault.call) && file(fault) && listed(steps, stepKind(fault)) &&
           leaves(run, baseline, fault, symptom, subjectDump(fault));
}

// Every rule, in the order of the outcome table.
const std::vector<Rule>& rules() {
    using namespace step;
    static const std::vector<Rule> all = {
        // The opening constructor removes a summary it cannot open or read.
        {"prescribed: unreadable summary removes the dump", {"UtilFile.Open", "UtilFile.read"}, onSummary, {},
         summaryRemoved},
        // A failed console query, session lookup or exchange leaves the
        // console record partly or wholly empty and is not reported.
        {"prescribed: console record left partly empty", kConsoleCalls, anyFile, {}, consoleRecordLeftEmpty},
        // A failed write of the file-system use entry is traced only.
        {"prescribed: file-system use entry not written", {}, anyFile, {kSystemSection}, fileSystemUseLost},
        // A setter's failed seek, re-read or write-back is traced, and the
        // setter goes on: it changes the image as the re-read left it (read
        // where the file stood after a failed seek) and writes it back
        // where the file stands.
        {"prescribed: a summary setter goes on after a failed re-read or write-back", kFileAccess, onSummary,
         {kSetter}, summaryWrong},
        // The same for the three collection-failure operations.
        {"prescribed: a collection-failure marking goes on after a failed re-read or write-back", kFileAccess,
         onSummary, {kFailureMarking, kWithdrawal}, summaryWrong},
        // Every step of SaveFlattenedSRC that fails is traced and the next runs.
        {"prescribed: SaveFlattenedSRC goes on past a step that fails", {}, ofDump, {kSrc}, summaryWrong},
        {"prescribed: a region primitive transfers where the file stands after a failed seek", kFileAccess,
         onSummary, {kRegionPrimitives}, summaryWrong},
        // setDumpComplete's re-reads and its write of the flag are traced only.
        {"prescribed: completion goes on after a failed re-read or write of the summary", kFileAccess,
         onSummary, {kCompletion}, summaryWrong},
        // flush does not check its re-reads: it recomputes in the images as
        // they were read and writes them back when they changed.
        {"prescribed: flush goes on after a failed re-read, and writes back what it holds", kFileAccess,
         onSummary, kFlushSteps, summaryWrong},
        // flush stores for a named nodal file it cannot open what the
        // unopened file object reports (0).
        {"prescribed: flush stores 0 bytes for a nodal file it cannot open", {"UtilFile.Open"}, onNodal,
         kFlushSteps, unopenedSizeStored},
        // A getter answers from its region as re-read, where the file stood
        // after a failed seek; the nodal section takes the content type so,
        // and an offload request builds its list and its header bytes so.
        {"prescribed: a getter answers from the image a failed re-read left", {"UtilFile.seek", "UtilFile.read"},
         onSummary, kGetterSteps, answeredFromImage},
        // Completion deletes the log of a section it cannot reopen, and a
        // section whose files cannot be measured, padded or given their
        // final header is left as it is; the dump completes all the same.
        {"prescribed: completion leaves a section it cannot reopen or measure as it is",
         {"UtilFile.Open", "UtilFile.seek", "UtilFile.read", "UtilFile.write"}, onNodal, {kCompletion},
         sectionLeftAsItIs},
        // The crash repair judges an entry it cannot read (or reads where
        // the TOC stood) as claiming data beyond the file and drops it.
        {"prescribed: the crash repair drops an entry it cannot read", {"UtilFile.seek", "UtilFile.read"}, onToc,
         {kCompletion}, itemDropped},
        {"prescribed: a crash repair whose truncate fails leaves the bytes it was to cut", {"truncate"}, onNodal,
         {}, sectionWrong},
        // An item whose append, measurement or header rewrite fails is not
        // counted, and what it wrote stays: the next item goes at the data
        // file's end. When it is the entry that stayed, the next entries
        // stand one place later than the header counts, and the repair
        // cuts the last of them.
        {"prescribed: a failed item stays in the nodal files, the next goes at the data file's end",
         {"UtilFile.seek", "UtilFile.write", "UtilFile.read"}, onNodal, kItemSteps, sectionWrong},
        // An append that the free-space check cuts short is traced, the
        // item is counted, and the file system is marked full.
        {"prescribed: an append cut short by the free-space check is traced and the item counted", {"statfs"},
         onNodal, kItemSteps, sectionWrong},
        // Creation does not examine its writes' counts: the summary is left
        // without its later regions, the next re-read of the names finds
        // zeros, and the orphan sweep removes the summary.
        {"prescribed: creation does not fail on a write the free-space check cuts short", {"statfs"}, onSummary,
         {kCreation}, summaryWrong},
        // removeSummaryFile closes the file and returns the error the close leaves.
        {"prescribed: a failed close before the summary's removal makes DeleteDump answer false", {"UtilFile.Close"},
         onSummary, {kDeletion}, deletionFalse},
        // A names read at opening that fails, and a region primitive's
        // failure, stay pending in the summary file; its removal takes them.
        {"prescribed: an error left pending in the summary file is taken at its removal: DeleteDump answers false",
         kFileAccess, onSummary, {kOpening, kWithdrawal, kDeletion}, deletionFalseOwnSummary},
        // A deletion ignores the removals of the dump's files that fail;
        // the orphan sweep's failed removals are logged, the files stay.
        {"prescribed: a deletion goes on past removals that fail, and leaves what they could not remove",
         {"UtilFile.Remove", "UtilFile.remove"}, anyFile, {}, filesLeft},
    };
    return all;
}

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
    const auto checked = atRest(run.check);
    for (const Damage& d : run.check.damage)
        if (!checked.count({d.when, d.dump}))
            return {kMissedDamage, dumpName(d.dump) + " as it lay " + d.when + " does not offload whole (" +
                                       d.problem + "), and platdump check finds nothing in it"};

    // DeleteDump reports a deletion that did not go through by its answer.
    const bool reported = surplus(run.errorLogs, baseline.errorLogs) ||
                          surplus(run.record.failedCalls, baseline.record.failedCalls) ||
                          std::any_of(run.record.deletions.begin(), run.record.deletions.end(),
                                      [](const Deletion& d) { return !d.answer; });
    // Every symptom must be explained by a rule for one of the faults that
    // fired: the first fault, in firing order, that a rule explains it by
    // (the first such rule in table order). The run takes the class of the
    // rule that explains the first symptom.
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
