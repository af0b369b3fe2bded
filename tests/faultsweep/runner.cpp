// fault_sweep: runs the lifecycle once without faults, counting each
// fault name's calls, then once for every (name, N) in its own simulation
// root: once with only call N + 1 failing (after=N count=1) and once with
// every call from N + 1 on failing (after=N). Each run is a child process
// with a timeout, checked afterwards by a fresh process with the faults
// removed; runs go in parallel, one job process each. It prints the table
// of outcomes by class and the findings, and exits with 0 when every run
// ended in an accepted outcome, 1 when there were findings, 2 when the
// sweep could not run.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platdump/dumpErrl.h"
#include "platform/sim/platsim.h"
#include "sweep.h"

namespace fs = std::filesystem;

namespace sweep {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Fired, call, subject, step)

// ---- The run record, and its file form: record.json, and stream.bin with
// the extracted bytes.

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool RunRecord::entry(const std::string& name, ErrlEntry* e) {
    call(name, e == nullptr);
    if (!e) return true;
    dumpCommitAndFreeLog(e);
    return false;
}

void RunRecord::step(const std::string& name) {
    std::error_code absent;
    const uintmax_t size = std::filesystem::file_size(platsim::root() + "/sim/faults.log", absent);
    steps.push_back({name, absent ? 0 : uint64_t(size)});
}

bool RunRecord::save(const std::string& dir) const {
    const nlohmann::json j = *this;
    std::ofstream out(dir + "/record.json", std::ios::trunc);
    out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::ofstream bytes(dir + "/stream.bin", std::ios::binary | std::ios::trunc);
    bytes << stream;
    return bool(out) && bool(bytes);
}

bool RunRecord::load(const std::string& dir) {
    const nlohmann::json j = nlohmann::json::parse(readFile(dir + "/record.json"), nullptr, false);
    if (j.is_discarded()) return false;
    j.get_to(*this);
    stream = readFile(dir + "/stream.bin");
    return true;
}

// ---- The sweep.

namespace {

struct SweepOptions {
    unsigned stride = 1;  // N = first, first + stride, ... below the count
    unsigned first = 0;
    std::vector<std::string> names;   // fault names to sweep; empty: all
    bool once = true, fromOn = true;  // the two modes
    bool keep = false;                // keep the roots of the runs
    bool countsOnly = false;          // print each name's calls in the lifecycle, run nothing
    std::string runs;                 // when given: every run described in this file, a line each
};

// A fault file that never fires but counts its calls; counting every call
// of every name makes the run slower.
constexpr char kCountOnly[] = "after=1000000000";
constexpr unsigned kCountingSlowdown = 4;
constexpr unsigned kTimeout = 20;  // seconds a process may take

// A run to make, and its verdict once made.
struct Task {
    std::string name;
    uint64_t after;
    bool once;  // count=1: only call after + 1 fails
    Verdict verdict;
};

std::string faultText(const Task& t) { return "after=" + std::to_string(t.after) + (t.once ? " count=1" : ""); }

// The faults the simulation logged, each with the step of the lifecycle
// that was running when it fired.
std::vector<Fired> firedFaults(const std::string& log, const std::vector<Step>& steps) {
    std::vector<Fired> fired;
    std::istringstream lines(log);
    size_t at = 0;
    for (std::string line; std::getline(lines, line); at += line.size() + 1) {
        if (line.empty()) continue;
        const size_t space = std::min(line.find(' '), line.size());
        Fired f{line.substr(0, space), line.substr(std::min(space + 1, line.size())), "", 0};
        for (size_t i = 0; i < steps.size(); ++i)
            if (steps[i].firedFrom <= at) f.step = steps[i].name, f.order = i;
        fired.push_back(f);
    }
    return fired;
}

// Runs body in a child process whose output goes to log, under an alarm of
// timeout seconds; how it ended, and whether the log holds a sanitizer report.
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
    ProcessEnd end{0, false, what};
    if (pid < 0 || ::waitpid(pid, &end.status, 0) != pid) end.status = W_EXITCODE(99, 0);
    const std::string output = readFile(log);
    for (const char* marker :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "UndefinedBehaviorSanitizer"})
        end.sanitizer = end.sanitizer || output.find(marker) != std::string::npos;
    return end;
}

// The signature of a committed error log line (JSON): return code and the
// location word of every SRC, which the entry's ids do not change.
std::string errorLogSignature(const std::string& line) {
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded()) return "unreadable";
    std::string signature = "rc " + std::to_string(entry.value("rc", 0u));
    for (const auto& src : entry.value("srcs", nlohmann::json::array()))
        signature += " " + std::to_string(src.at("words").at(0).get<uint32_t>());
    return signature;
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
        checkRun(check, root, snapshots);
        return check.save(dir + "/check") ? 0 : 3;
    });
    run.check.load(dir + "/check");
    return run;
}

void printTable(const std::vector<Task>& results, const SweepOptions& o, uint64_t calls, double seconds,
                unsigned jobs) {
    std::map<std::string, std::pair<unsigned, unsigned>> table;
    for (const Task& r : results) {
        auto& cell = table[r.verdict.outcome];
        ++(r.once ? cell.first : cell.second);
    }
    std::printf("\nfault sweep: %zu fault names, %llu calls in the no-fault lifecycle; every %u%s call, %zu runs in "
                "%.0f s (%u at once)\n\n",
                o.names.size(), static_cast<unsigned long long>(calls), o.stride, o.stride == 1 ? "" : "th",
                results.size(), seconds, jobs);
    std::printf("  %14s %16s  %s\n", "one call fails", "fails from N on", "outcome");
    for (const char* c : outcomeClasses()) {
        auto cell = table[c];
        std::printf("  %14u %16u  %s\n", cell.first, cell.second, c);
    }
    std::printf("\n  A prescribed outcome is what a rule of the library's contract has a failed call leave behind\n"
                "  (the README's outcome table names the rules); every damaged dump it leaves must be found by\n"
                "  platdump check. A symptom no rule explains is a finding.\n");
    // Findings by class, fault name and mode: how many, and the first.
    std::map<std::string, std::pair<unsigned, const Task*>> groups;
    for (const Task& r : results) {
        if (accepted(r.verdict.outcome)) continue;
        auto& g = groups[r.verdict.outcome + " | " + r.name + (r.once ? " once" : " from N on")];
        if (g.first++ == 0) g.second = &r;
    }
    if (!groups.empty()) std::printf("\nfindings (runs, first of them):\n");
    for (const auto& [key, g] : groups)
        std::printf("  %s: %u, first %s: %s\n", key.c_str(), g.first, faultText(*g.second).c_str(),
                    g.second->verdict.detail.c_str());
}

// Every fault name of the simulation.
const std::vector<std::string> kFaultNames = {
    "UtilFile.Open", "UtilFile.Close", "UtilFile.read", "UtilFile.write", "UtilFile.seek", "UtilFile.Remove",
    "UtilFile.remove", "UtilReg.read", "UtilReg.write", "UtilReg.path", "UtilSemaphore.init",
    "UtilSemaphore.Down", "UtilSemaphore.Up", "rtim_GetTimeOfDay", "rtim_ConvertBCDtoTimeVal",
    "rtim_ConvertTimeValToBCD", "scandir", "statfs", "truncate", "rmgrGetTovRole", "rmgrInvokeRemoteCommand",
    "rmgrSyncFileChunk", "rmgrDeleteFile", "rmgrStreamSync", "ErrlEntry.flatten", "ccmmPreventCcmFeatures",
    "ccmmAllowCcmFeatures", "kelxQueryKelManagedInfo", "NetcSessionEntry.FindSessionEntry", "NetcAddress",
    "netcConnect", "netcSendRecv", "netcClose", "netcSessionEntryFileLock", "netcSessionEntryFileUnLock",
    "dmaeSetup", "dmaeRawRead", "mboxFetchCecData", "smgrIplTypeRequest", "orlaDataBuffer.memCopyOut"};

int runSweep(SweepOptions o) {
    if (o.names.empty()) o.names = kFaultNames;
    if (o.stride == 0) o.stride = 1;
    const unsigned jobs = std::max(1u, static_cast<unsigned>(::sysconf(_SC_NPROCESSORS_ONLN)));
    // The runs are file work from end to end, twice as fast in memory.
    const char* tmp = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    const std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/fault-sweep-" + std::to_string(::getpid());
    const auto start = std::chrono::steady_clock::now();

    // The baseline, twice: counted, and plain to show the lifecycle is the
    // same in every run.
    std::map<std::string, std::string> counting;
    for (const std::string& n : o.names) counting[n] = kCountOnly;
    Run counted = runOnce(work + "/baseline", counting, kTimeout * kCountingSlowdown);
    Run plain = runOnce(work + "/baseline-again", {}, kTimeout);
    Verdict sane = classify(counted, counted);
    if (sane.outcome == kUnaffected) sane = classify(plain, counted);
    if (sane.outcome == kUnaffected && !counted.record.extracted) sane.detail = "the stream was not extracted";
    if (sane.outcome != kUnaffected || !sane.detail.empty()) {
        std::printf("fault sweep: the no-fault lifecycle is not sound (%s); roots in %s\n",
                    (sane.detail.empty() ? sane.outcome : sane.detail).c_str(), work.c_str());
        return 2;
    }
    const Run& baseline = counted;
    std::vector<Task> tasks;
    uint64_t calls = 0;
    std::string silent;
    for (const std::string& n : o.names) {
        const uint64_t count = counted.counts[n];
        calls += count;
        if (count == 0) silent += " " + n;
        if (o.countsOnly) {
            std::printf("%8llu %s\n", static_cast<unsigned long long>(count), n.c_str());
            continue;
        }
        for (uint64_t after = o.first; after < count; after += o.stride) {
            if (o.once) tasks.push_back({n, after, true, {}});
            if (o.fromOn) tasks.push_back({n, after, false, {}});
        }
    }

    std::vector<Task> results;
    std::ofstream runsFile;
    if (!o.runs.empty()) runsFile.open(o.runs, std::ios::trunc);
    std::map<pid_t, size_t> running;
    for (size_t next = 0; next < tasks.size() || !running.empty();) {
        if (next < tasks.size() && running.size() < jobs) {
            const size_t i = next++;
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            if (pid == 0) {
                // One run's job: the run and its verdict, written to run.json
                // with the task and the faults that fired.
                const Task& t = tasks[i];
                const std::string dir = work + "/" + std::to_string(i);
                Run run = runOnce(dir, {{t.name, faultText(t)}}, kTimeout);
                const Verdict v = classify(run, baseline);
                const nlohmann::json j = {{"name", t.name},       {"after", t.after},   {"once", t.once},
                                          {"outcome", v.outcome}, {"detail", v.detail}, {"fired", run.fired}};
                std::ofstream(dir + "/run.json") << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                                                 << '\n';
                ::_exit(0);
            }
            running[pid] = i;
            continue;
        }
        int status = 0;
        const pid_t pid = ::wait(&status);
        if (pid < 0) continue;
        const size_t i = running[pid];
        running.erase(pid);
        const std::string dir = work + "/" + std::to_string(i);
        const std::string text = readFile(dir + "/run.json");
        const nlohmann::json run = nlohmann::json::parse(text, nullptr, false);
        Task r = tasks[i];
        r.verdict = {kCrash, "the run's job ended without a verdict"};
        if (run.is_object()) run.get_to(r.verdict);
        if (runsFile.is_open()) runsFile << text;
        if (!o.keep) fs::remove_all(dir);
        results.push_back(r);
    }
    fs::remove_all(work + "/baseline");
    fs::remove_all(work + "/baseline-again");
    if (!o.keep) fs::remove_all(work);
    if (o.countsOnly) return 0;

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printTable(results, o, calls, seconds, jobs);
    if (!silent.empty()) std::printf("\nnever called in the lifecycle:%s\n", silent.c_str());
    for (const Task& r : results)
        if (!accepted(r.verdict.outcome)) return 1;
    return 0;
}

}  // namespace

}  // namespace sweep

int main(int argc, char** argv) {
    sweep::SweepOptions o;
    std::string mode;
    CLI::App app("Runs the dump lifecycle once for every injected platform failure.", "fault_sweep");
    app.add_option("--stride", o.stride, "every how many calls of a fault name a run fails");
    app.add_option("--first", o.first, "the first call to fail (counted from 0)");
    app.add_option("--names", o.names, "fault names to sweep (all when none)")->delimiter(',');
    app.add_option("--mode", mode, "only one call fails (once), or every call from it on (from)")
        ->check(CLI::IsMember({"once", "from"}));
    app.add_flag("--keep", o.keep, "keep the roots of the runs");
    app.add_flag("--counts", o.countsOnly, "print each fault name's calls in the lifecycle, run nothing");
    app.add_option("--runs", o.runs, "describe every run in this file, one JSON object a line");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    o.once = mode != "from";
    o.fromOn = mode != "once";
    return sweep::runSweep(o);
}
