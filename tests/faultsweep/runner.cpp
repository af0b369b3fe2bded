// The sweep's runner: the no-fault baseline, the runs, their checks, and
// the table.
#include "runner.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "lifecycle.h"
#include "machine.h"
#include "outcome.h"
#include "platform/sim/platsim.h"
#include "symptoms.h"
#include "verify.h"

namespace fs = std::filesystem;

namespace sweep {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Fired, call, subject, step)

namespace {

// A fault file that never fires but counts its calls; counting every call
// of every name makes the run slower.
constexpr char kCountOnly[] = "after=1000000000";
constexpr unsigned kCountingSlowdown = 4;

struct Task {
    std::string name;
    uint64_t after;
    bool once;  // count=1: only call after + 1 fails
};

std::string faultText(const Task& t) { return "after=" + std::to_string(t.after) + (t.once ? " count=1" : ""); }

// The faults the simulation logged, each with the step of the lifecycle
// that was running when it fired.
std::vector<Fired> firedFaults(const std::string& log, const std::vector<Step>& steps) {
    std::vector<Fired> fired;
    for (size_t at = 0, end = 0; at < log.size(); at = end + 1) {
        end = std::min(log.find('\n', at), log.size());
        const std::string line = log.substr(at, end - at);
        if (line.empty()) continue;
        const size_t space = std::min(line.find(' '), line.size());
        Fired f{line.substr(0, space), line.substr(std::min(space + 1, line.size())), "", 0};
        for (size_t i = 0; i < steps.size(); ++i)
            if (steps[i].firedFrom <= at) f.step = steps[i].name, f.order = i;
        fired.push_back(f);
    }
    return fired;
}

bool sanitizerReport(const std::string& log) {
    for (const char* marker : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                               "UndefinedBehaviorSanitizer"})
        if (log.find(marker) != std::string::npos) return true;
    return false;
}

// Runs body in a child process whose output goes to log, under an alarm of
// timeout seconds; how it ended.
template <typename Body>
ProcessEnd inChild(const char* what, const std::string& log, unsigned timeout, Body body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(log.c_str(), "w", stdout);
        std::freopen(log.c_str(), "a", stderr);
        ::alarm(timeout);
        int rc = body();
        std::fflush(nullptr);
        std::exit(rc);
    }
    ProcessEnd end;
    end.what = what;
    if (pid < 0 || ::waitpid(pid, &end.status, 0) != pid) end.status = W_EXITCODE(99, 0);
    end.sanitizer = sanitizerReport(readFile(log));
    return end;
}

// One run in dir: a fresh root, the faults, the lifecycle, then the check.
Run runOnce(const std::string& dir, const std::map<std::string, std::string>& faults, unsigned timeout) {
    Run run;
    fs::create_directories(dir);
    const std::string root = dir + "/root";
    ::setenv("PLATSIM_ROOT", root.c_str(), 1);
    prepareMachine();
    for (const auto& [name, text] : faults) platsim::setFault(name, text);

    const Snapshots snapshots{dir + "/before-offload", dir + "/after-offload"};
    run.lifecycleEnd = inChild("lifecycle", dir + "/lifecycle.log", timeout, [&] {
        RunRecord record;
        runLifecycle(record, snapshots);
        return record.save(dir) ? 0 : 3;
    });
    run.haveRecord = run.record.load(dir);
    for (const std::string& line : platsim::committedErrorLogs())
        run.errorLogs.push_back(errorLogSignature(line));
    run.fired = firedFaults(readFile(root + "/sim/faults.log"), run.record.steps);
    for (const auto& [name, text] : faults) {
        uint64_t seen = 0;
        std::istringstream(readFile(root + "/sim/fail/" + name + ".state")) >> seen;
        run.counts[name] = seen;
    }
    platsim::clearFaults();

    fs::create_directories(dir + "/check");
    run.checkEnd = inChild("check", dir + "/check.log", timeout, [&] {
        RunRecord check;
        for (const auto& [snapshot, when] : {std::pair{snapshots.beforeOffload, kBeforeOffload},
                                             std::pair{snapshots.afterOffload, kAfterOffload}}) {
            ::setenv("PLATSIM_ROOT", snapshot.c_str(), 1);
            if (checkRoot(check, when)) offloadAtRest(check, when);
        }
        ::setenv("PLATSIM_ROOT", root.c_str(), 1);
        checkRoot(check, kAfterRun);
        verifyRepository(check);
        return check.save(dir + "/check") ? 0 : 3;
    });
    run.check.load(dir + "/check");
    return run;
}

// Differences that make two no-fault runs unequal; empty when they agree.
std::string baselineDifference(const Run& a, const Run& b) {
    if (a.record.stream != b.record.stream) return "the streams differ";
    if (!a.record.extracted) return "the stream was not extracted";
    if (!std::is_permutation(a.errorLogs.begin(), a.errorLogs.end(), b.errorLogs.begin(), b.errorLogs.end()))
        return "the error logs differ";
    if (nlohmann::json(a.record.answers) != nlohmann::json(b.record.answers)) return "the answers differ";
    return "";
}

struct Result {
    Task task;
    Verdict verdict;
};

// One run as the --runs file describes it.
nlohmann::json describeRun(const Task& task, const Run& run, const Verdict& v, const Run& baseline) {
    const bool reported = reportedSomething(run, baseline);
    return {{"name", task.name}, {"after", task.after}, {"once", task.once}, {"outcome", v.outcome},
            {"detail", v.detail}, {"fired", run.fired}, {"found", run.check.found}, {"damage", run.check.damage},
            {"deletions", run.record.deletions}, {"vanished", run.record.vanished},
            {"extracted", run.record.extracted}, {"reported", reported},
            {"symptoms", symptomsOf(run, baseline, reported)}};
}

void printTable(const std::vector<Result>& results, const SweepOptions& o, uint64_t calls, double seconds) {
    std::map<std::string, std::pair<unsigned, unsigned>> table;
    for (const Result& r : results) {
        auto& cell = table[r.verdict.outcome];
        ++(r.task.once ? cell.first : cell.second);
    }
    std::printf("\nfault sweep: %zu fault names, %llu calls in the no-fault lifecycle; every %u%s call, %zu runs in "
                "%.0f s (%u at once)\n\n",
                o.names.size(), static_cast<unsigned long long>(calls), o.stride,
                o.stride == 1 ? "" : "th", results.size(), seconds, o.jobs);
    std::printf("  %14s %16s  %s\n", "one call fails", "fails from N on", "outcome");
    for (const char* c : outcomeClasses()) {
        auto cell = table[c];
        std::printf("  %14u %16u  %s\n", cell.first, cell.second, c);
    }
    std::printf("\n  A prescribed outcome is what a rule of the library's contract has a failed call leave behind\n"
                "  (the README's outcome table names the rules); every damaged dump it leaves must be found by\n"
                "  platdump check. A symptom no rule explains is a finding.\n");
    // Findings by class, fault name and mode: how many, and the first.
    std::map<std::string, std::pair<unsigned, const Result*>> groups;
    for (const Result& r : results) {
        if (accepted(r.verdict.outcome)) continue;
        auto& g = groups[r.verdict.outcome + " | " + r.task.name + (r.task.once ? " once" : " from N on")];
        if (g.first++ == 0) g.second = &r;
    }
    if (!groups.empty()) std::printf("\nfindings (runs, first of them):\n");
    for (const auto& [key, g] : groups)
        std::printf("  %s: %u, first %s: %s\n", key.c_str(), g.first, faultText(g.second->task).c_str(),
                    g.second->verdict.detail.c_str());
}

// Where the runs' roots go: the given directory, else a memory file system
// when there is one (the runs are file work from end to end, twice as fast
// there), else $TMPDIR.
std::string workBase(const std::string& given) {
    if (!given.empty()) return given;
    if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// Every fault name of the simulation.
const std::vector<std::string>& faultNames() {
    static const std::vector<std::string> names = {
        "UtilFile.Open", "UtilFile.Close", "UtilFile.read", "UtilFile.write", "UtilFile.seek", "UtilFile.Remove",
        "UtilFile.remove", "UtilReg.read", "UtilReg.write", "UtilReg.path", "UtilSemaphore.init",
        "UtilSemaphore.Down", "UtilSemaphore.Up", "rtim_GetTimeOfDay", "rtim_ConvertBCDtoTimeVal",
        "rtim_ConvertTimeValToBCD", "scandir", "statfs", "truncate", "rmgrGetTovRole", "rmgrInvokeRemoteCommand",
        "rmgrSyncFileChunk", "rmgrDeleteFile", "rmgrStreamSync", "ErrlEntry.flatten", "ccmmPreventCcmFeatures",
        "ccmmAllowCcmFeatures", "kelxQueryKelManagedInfo", "NetcSessionEntry.FindSessionEntry", "NetcAddress",
        "netcConnect", "netcSendRecv", "netcClose", "netcSessionEntryFileLock", "netcSessionEntryFileUnLock",
        "dmaeSetup", "dmaeRawRead", "mboxFetchCecData", "smgrIplTypeRequest", "orlaDataBuffer.memCopyOut"};
    return names;
}

}  // namespace

int runSweep(const SweepOptions& given) {
    SweepOptions o = given;
    if (o.names.empty()) o.names = faultNames();
    if (o.jobs == 0) o.jobs = std::max(1u, static_cast<unsigned>(::sysconf(_SC_NPROCESSORS_ONLN)));
    if (o.stride == 0) o.stride = 1;
    const std::string work = workBase(o.work) + "/fault-sweep-" + std::to_string(::getpid());
    const auto start = std::chrono::steady_clock::now();

    // The baseline, twice: counted, and plain to show the lifecycle is the
    // same in every run.
    std::map<std::string, std::string> counting;
    for (const std::string& n : o.names) counting[n] = kCountOnly;
    Run counted = runOnce(work + "/baseline", counting, o.timeout * kCountingSlowdown);
    Run plain = runOnce(work + "/baseline-again", {}, o.timeout);
    Verdict sane = classify(counted, counted);
    if (sane.outcome == kUnaffected) sane = classify(plain, counted);
    std::string difference = sane.outcome == kUnaffected ? baselineDifference(counted, plain) : "";
    if (!difference.empty() || sane.outcome != kUnaffected) {
        std::printf("fault sweep: the no-fault lifecycle is not sound (%s%s %s); roots in %s\n", difference.c_str(),
                    difference.empty() ? "" : ",", sane.detail.empty() ? sane.outcome.c_str() : sane.detail.c_str(),
                    work.c_str());
        return 2;
    }
    const Run& baseline = counted;
    if (o.countsOnly) {
        for (const std::string& n : o.names) std::printf("%8llu %s\n", static_cast<unsigned long long>(counted.counts[n]), n.c_str());
        fs::remove_all(work);
        return 0;
    }

    std::vector<Task> tasks;
    uint64_t calls = 0;
    std::vector<std::string> silent;
    for (const std::string& n : o.names) {
        uint64_t count = counted.counts[n];
        calls += count;
        if (count == 0) silent.push_back(n);
        for (uint64_t after = o.first; after < count; after += o.stride) {
            if (o.once) tasks.push_back({n, after, true});
            if (o.fromOn) tasks.push_back({n, after, false});
        }
    }

    std::vector<Result> results;
    std::ofstream runsFile;
    if (!o.runs.empty()) runsFile.open(o.runs, std::ios::trunc);
    std::map<pid_t, size_t> running;
    size_t next = 0;
    auto reap = [&] {
        int status = 0;
        pid_t pid = ::wait(&status);
        if (pid < 0) return;
        size_t i = running[pid];
        running.erase(pid);
        const std::string dir = work + "/" + std::to_string(i);
        const std::string text = readFile(dir + "/run.json");
        const nlohmann::json run = nlohmann::json::parse(text, nullptr, false);
        Result r{tasks[i], {kCrash, "the run's job ended without a verdict"}};
        if (run.is_object()) run.get_to(r.verdict);
        if (runsFile.is_open()) runsFile << text;
        if (!o.keep || (accepted(r.verdict.outcome) && !o.keepAll)) fs::remove_all(dir);
        results.push_back(r);
    };
    while (next < tasks.size() || !running.empty()) {
        if (next < tasks.size() && running.size() < o.jobs) {
            const size_t i = next++;
            std::fflush(nullptr);
            pid_t pid = ::fork();
            if (pid == 0) {
                const std::string dir = work + "/" + std::to_string(i);
                Run run = runOnce(dir, {{tasks[i].name, faultText(tasks[i])}}, o.timeout);
                const Verdict v = classify(run, baseline);
                const nlohmann::json j = o.runs.empty() ? nlohmann::json(v) : describeRun(tasks[i], run, v, baseline);
                std::ofstream(dir + "/run.json") << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                                                 << '\n';
                ::_exit(0);
            }
            running[pid] = i;
            continue;
        }
        reap();
    }
    fs::remove_all(work + "/baseline");
    fs::remove_all(work + "/baseline-again");
    if (!o.keep) fs::remove_all(work);

    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printTable(results, o, calls, seconds);
    if (!silent.empty()) {
        std::printf("\nnever called in the lifecycle:");
        for (const std::string& n : silent) std::printf(" %s", n.c_str());
        std::printf("\n");
    }
    for (const Result& r : results)
        if (!accepted(r.verdict.outcome)) return 1;
    return 0;
}

}  // namespace sweep
