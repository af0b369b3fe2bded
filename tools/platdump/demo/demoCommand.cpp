#include "demoCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#include "demoCollector.h"
#include "demoMachine.h"
#include "demoVerify.h"
#include "dumpAccess.h"
#include "dumpId.h"
#include "errlogCommand.h"
#include "errlogText.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "listCommand.h"
#include "offloadCommand.h"
#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "statusCommand.h"
#include "textFormat.h"

namespace platdump {

namespace {

constexpr unsigned int kFirstId = 0x1A;
constexpr unsigned int kLastSystemId = 0x00FFFFFF;

// The simulation root: PLATSIM_ROOT, or a fresh temporary directory.
std::string chooseRoot() {
    if (std::getenv("PLATSIM_ROOT")) return platsim::root();
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/platdump-demo-XXXXXX";
    if (!::mkdtemp(templ.data())) throw DemoFailure("cannot create a simulation root in " + templ);
    ::setenv("PLATSIM_ROOT", templ.c_str(), 1);
    return platsim::root();
}

// The first system dump id from 0x1A that the repository does not hold.
unsigned int freeId() {
    for (unsigned int id = kFirstId; id <= kLastSystemId; ++id)
        if (!findDumpKind(id)) return id;
    throw DemoFailure("the repository holds every system dump id");
}

std::string seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f s", s);
    return buf;
}

void offload(DemoFacts& f, bool progress, std::ostream& err, DemoLog& log) {
    std::string dir = f.root + "/offload";
    ::mkdir(dir.c_str(), 0755);
    f.offloadFile = dir + "/" + f.dumpFileName;
    OffloadOptions o;
    o.id = f.id;
    o.file = f.offloadFile;
    o.mainStore = true;
    o.requestSize = 256u << 10;
    log.step("offload", "ExtractDump in requests of " + byteSize(o.requestSize) + ", main store included, to " +
                            f.offloadFile);
    auto start = std::chrono::steady_clock::now();
    if (!offloadDump(o, progress, err, f.offloadedBytes)) throw DemoFailure("the offload failed");
    f.offloadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    log.more(std::to_string(f.offloadedBytes) + " bytes in " + seconds(f.offloadSeconds));
}

void list(DemoLog& log, std::ostream& err) {
    ListOptions options;
    options.counts = options.current = true;
    Json listing = listJson(options, err);
    if (listing.is_null()) throw DemoFailure("the repository cannot be listed");
    log.step("list", "the repository as an offload program sees it:");
    std::ostringstream text;
    printList(text, listing);
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) log.more(line);
}

void remove(DumpSummary& summary, DemoFacts& f, DemoLog& log) {
    std::vector<std::string> files;
    summary.getIntermediateFileNames(files);
    if (!DeleteDump(&summary)) throw DemoFailure("DeleteDump failed");
    size_t gone = 0;
    for (const std::string& name : files) gone += UtilFile(name.c_str()).exists() ? 0 : 1;
    f.filesDeleted = gone;
    log.step("delete", "DeleteDump removed the summary, the status log and " + std::to_string(gone) + " of the " +
                           std::to_string(files.size()) + " files it named");
}

// The status log as the collector left it: its events in one line.
void status(DemoFacts& f, DemoLog& log) {
    std::string why;
    Json status = readStatusLog(f.id, why);
    if (status.is_null()) throw DemoFailure("the status log cannot be read: " + why);
    const Json& events = status["events"];
    f.statusEvents = events.size();
    log.step("status", std::to_string(f.statusEvents) + " events in " + status["statusLog"].get<std::string>() + ":");
    constexpr size_t kPerLine = 4;
    for (size_t i = 0; i < events.size(); i += kPerLine) {
        std::string line;
        for (size_t k = i; k < events.size() && k < i + kPerLine; ++k)
            line += (k == i ? "" : ", ") + (events[k]["event"].is_null() ? "?" : events[k]["event"].get<std::string>());
        log.more(line);
    }
}

// A word as a shell reads it back: quoted unless it is plain.
std::string shellWord(const std::string& text) {
    constexpr char kPlain[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./:=+-,@";
    if (!text.empty() && text.find_first_not_of(kPlain) == std::string::npos) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The tool as it was started: its full path, so that a hint runs from any
// directory without the tool on the PATH.
std::string toolPath() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : "platdump";
}

// The commands to look around with, each on the demo's simulation root.
std::vector<std::string> hints(const DemoFacts& f) {
    const std::string run = "PLATSIM_ROOT=" + shellWord(f.root) + " " + shellWord(toolPath()) + " ";
    std::vector<std::string> lines = {run + "errlog", run + "parse " + shellWord(f.offloadFile)};
    if (f.kept) {
        char id[16];
        std::snprintf(id, sizeof id, "%X", f.id);
        lines.push_back(run + "list");
        lines.push_back(run + "show " + id);
    }
    lines.push_back(run + "check");
    return lines;
}

void printSummary(std::ostream& out, const DemoFacts& f) {
    auto row = [&](const char* name, const std::string& text) {
        out << "  " << std::left << std::setw(16) << name << text << "\n";
    };
    unsigned hw = 0, sp = 0;
    for (unsigned n : f.hwItems) hw += n;
    for (unsigned n : f.spItems) sp += n;
    double rate = f.offloadSeconds > 0 ? f.offloadedBytes / f.offloadSeconds : 0;
    out << "\nSummary\n";
    row("dump", idText(f.id) + "  " + f.dumpFileName);
    row("simulation", f.root);
    row("nodes", std::to_string(f.hwItems.size()) + " node groups: " + std::to_string(hw) + " HWDATA items (" +
                     byteSize(f.hwBytes) + "), " + std::to_string(sp) + " SPDATA items (" + byteSize(f.spBytes) + ")");
    row("main store", std::to_string(f.regions.size()) + " regions, " + byteSize(f.mainStoreBytes));
    row("status log", std::to_string(f.statusEvents) + " events");
    row("offload", byteSize(f.offloadedBytes) + " in " + seconds(f.offloadSeconds) + " (" +
                       byteSize(static_cast<uint64_t>(rate)) + "/s)");
    row("verification", std::to_string(f.verified.size()) + " checks held, " + std::to_string(f.failed.size()) +
                            " failed");
    row("deletion", f.kept ? "none: dump " + idText(f.id) + " is kept in the repository"
                           : "summary, status log and " + std::to_string(f.filesDeleted) + " files removed");
    row("error logs", std::to_string(f.errorLogs) + " committed while the demo ran, " +
                          std::to_string(f.informationalLogs) + " informational (an offload's start is one)");
    out << "\n"
        << (f.failed.empty() ? "The offloaded stream is verified." : "The offloaded stream does NOT verify.") << "\n";
    out << "Look around (each command runs as printed):\n";
    for (const std::string& hint : hints(f)) out << "  " << hint << "\n";
}

}  // namespace

CLI::App* addDemoCommand(CLI::App& app, DemoOptions& options) {
    CLI::App* cmd = app.add_subcommand("demo", "Live the life of one system dump on the host simulation");
    cmd->add_flag("--keep", options.keep, "Keep the dump in the repository instead of deleting it");
    return cmd;
}

int runDemo(const DemoOptions& options, bool progress, std::ostream& out, std::ostream& err) {
    DemoLog log(out);
    DemoFacts f;
    try {
        f.root = chooseRoot();
        const size_t logsBefore = committedErrorLogCount();
        out << "platdump demo: the life of one system dump on the simulation at " << f.root << "\n\n";
        f.regions = prepareMachine(f.root, log);
        f.id = freeId();
        std::unique_ptr<DumpSummary> summary = createDump(f, log);
        _dumpstate state{};
        state.size = sizeof state;
        summary->PopulateDumpState(&state);
        f.dumpFileName = fieldText(state.dumpFileName, sizeof state.dumpFileName);
        log.step("create", "dump " + idText(f.id) + ": " + summaryPath(f.id, DumpSummary::SYS) + ", offloaded as " +
                               f.dumpFileName);
        collectDump(*summary, f, log);
        status(f, log);
        list(log, err);
        offload(f, progress, err, log);
        verifyOffload(f, log);
        f.kept = options.keep;
        if (!f.kept) remove(*summary, f, log);
        for (const Json& e : committedErrorLogs(logsBefore)) {
            ++f.errorLogs;
            f.informationalLogs += e.value("severity", 1) == 0;
        }
    } catch (const DemoFailure& failure) {
        reportFailure(err, "demo", failure.what());
        if (!failure.errorLog.is_null()) printErrorLog(err, failure.errorLog, "  ");
        return kExitFailed;
    }
    printSummary(out, f);
    return f.failed.empty() ? kExitOk : kExitFailed;
}

}  // namespace platdump
