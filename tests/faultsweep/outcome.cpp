// Outcome classes and the classification of one run.
#include "outcome.h"

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "verify.h"

namespace sweep {

const char kUnaffected[] = "unaffected";
const char kReported[] = "reported, repository consistent";
const char kReportedSizes[] = "reported: offload follows sizes a setter kept";
const char kPrescribed[] = "prescribed: unreadable summary removes the dump";
const char kPrescribedConsole[] = "prescribed: console record left partly empty";
const char kPrescribedFileSystemUse[] = "prescribed: file-system use entry not written";
const char kWrongBytes[] = "FINDING silent wrong bytes";
const char kFalseAnswer[] = "FINDING false answer";
const char kHang[] = "FINDING hang";
const char kCrash[] = "FINDING crash";
const char kSanitizer[] = "FINDING sanitizer report";
const char kInconsistent[] = "FINDING inconsistent repository";

const std::vector<const char*>& outcomeClasses() {
    static const std::vector<const char*> all = {kUnaffected,  kReported,   kReportedSizes, kPrescribed,
                                                 kPrescribedConsole,         kPrescribedFileSystemUse,
                                                 kWrongBytes,  kFalseAnswer, kHang,          kCrash,
                                                 kSanitizer,   kInconsistent};
    return all;
}

bool accepted(const std::string& outcome) {
    return outcome == kUnaffected || outcome == kReported || outcome == kReportedSizes || outcome == kPrescribed ||
           outcome == kPrescribedConsole || outcome == kPrescribedFileSystemUse;
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

// Every fault that fired was one of the console scan's calls.
bool firedOnConsoleScanOnly(const std::vector<std::string>& fired) {
    static const char* const scan[] = {"kelxQueryKelManagedInfo ", "NetcSessionEntry.FindSessionEntry ",
                                       "NetcAddress ", "netcConnect ", "netcSendRecv ", "netcClose ",
                                       "netcSessionEntryFileLock ", "netcSessionEntryFileUnLock "};
    for (const std::string& line : fired)
        if (std::none_of(std::begin(scan), std::end(scan), [&](const char* c) { return line.rfind(c, 0) == 0; }))
            return false;
    return !fired.empty();
}

// Two streams of one length that differ only within one console record.
bool differOnlyInAConsoleRecord(const std::string& a, const std::string& b) {
    constexpr size_t kConsoleRecord = 812;
    if (a.size() != b.size()) return false;
    size_t first = 0, last = a.size();
    while (first < a.size() && a[first] == b[first]) ++first;
    while (last > first && a[last - 1] == b[last - 1]) --last;
    return last - first <= kConsoleRecord;
}

// The run's stream holds the baseline's items but the file-system use
// entry, and nothing else differs in what the dump holds.
bool lostOnlyTheFileSystemUse(const std::string& run, const std::string& base) {
    const std::string fileSystemUse = std::to_string(int(3)) + " " + std::to_string(0xF00A0000u) + " ";
    std::vector<std::string> expected = streamItems(base);
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [&](const std::string& item) { return item.rfind(fileSystemUse, 0) == 0; }),
                   expected.end());
    return streamProblem(run).empty() && streamItems(run) == expected;
}

// A summary setter that cannot re-read or write its region commits that and
// leaves the field as it was. A collector that goes on completes a dump
// whose recorded MDRT table or main-store size disagrees with its MDRT, and
// the offload list follows the summary's names and flags all the same, so
// the stream does not match its own header: the committed log is the
// report. Only a size of the hypervisor section, after a failure on the
// summary, is taken for that.
bool setterKeptAHypervisorSize(const std::string& problem, const std::vector<std::string>& fired) {
    if (problem.find("mdrtTableSize") == std::string::npos && problem.find("memoryDumpSize") == std::string::npos)
        return false;
    return std::any_of(fired.begin(), fired.end(),
                       [](const std::string& line) { return line.find(".summary") != std::string::npos; });
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
    const bool reported = reportedSomething(facts, run, baseline);
    bool keptSize = false;
    if (run.extracted) {
        std::string problem = streamProblem(run.stream);
        keptSize = !problem.empty() && reported && setterKeptAHypervisorSize(problem, facts.fired);
        if (!problem.empty() && !keptSize) return {kWrongBytes, "the extracted stream: " + problem};
    }
    for (const Problem& p : check.problems) return {p.outcome, p.detail};
    if (keptSize) return {kReportedSizes, ""};

    const bool prescribed = run.vanished && firedOnSummaryOpenOrRead(facts.fired);
    if (prescribed) return {kPrescribed, ""};
    if (run.extracted && run.stream != baseline.record.stream && !reported &&
        firedOnConsoleScanOnly(facts.fired) && differOnlyInAConsoleRecord(run.stream, baseline.record.stream))
        return {kPrescribedConsole, ""};
    if (run.extracted && run.stream != baseline.record.stream && !reported &&
        lostOnlyTheFileSystemUse(run.stream, baseline.record.stream))
        return {kPrescribedFileSystemUse, ""};
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
