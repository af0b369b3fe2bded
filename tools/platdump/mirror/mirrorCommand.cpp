#include "mirrorCommand.h"

#include <map>

#include "dumpId.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "mirrorReport.h"
#include "mirrorSync.h"
#include "platform/errlEntry.h"
#include "platform/rmgr.h"

namespace platdump {

namespace {

using namespace mirror;

// Rounds of copying before the command gives up on files that change
// under it.
constexpr int kRounds = 4;

// Only the primary mirrors; empty when this processor is it, else why not.
std::string notPrimary() {
    tovRole role = TOV_ROLE_UNKNOWN;
    if (ErrlEntry* e = rmgrGetTovRole(role)) {
        std::string why = "the role of this service processor cannot be queried: " + briefError(*e);
        delete e;
        return why;
    }
    if (role == TOV_ROLE_PRIMARY) return "";
    return "this service processor is not the primary (role " + std::to_string(role) +
           "): only the primary keeps the backup's copies";
}

// Why the last comparison still found something: its problems, and (but
// for a dry run, whose plan says it) for each difference left the failure
// of its last action, or that the file changed in every round.
std::vector<std::string> reasons(const Outcome& o) {
    std::map<std::string, std::string> lastFailure;
    for (const Action& a : o.actions)
        if (!a.why.empty()) lastFailure[a.difference.path] = a.why;
    std::vector<std::string> all = o.last.problems;
    if (o.dryRun) return all;  // the plan says the rest
    for (const Difference& d : o.last.differences) {
        auto failure = lastFailure.find(d.path);
        std::string why = d.path + ": " + findingText(d);
        if (failure != lastFailure.end())
            why += ": " + failure->second;
        else
            why += ": still so after " + std::to_string(o.rounds) +
                   " rounds (it changed while it was copied; something is still writing it)";
        all.push_back(why);
    }
    return all;
}

}  // namespace

CLI::App* addMirrorCommand(CLI::App& app, MirrorOptions& options) {
    CLI::App* cmd = app.add_subcommand("mirror", "Bring the backup's copies of the repository in line with it");
    options.idOption = addDumpIdArgument(cmd, options.id, false);
    cmd->add_flag("--dry-run", options.dryRun, "Only print what would be done");
    cmd->add_flag("--json", options.json, "Print what was done as JSON");
    return cmd;
}

int runMirror(const MirrorOptions& options, std::ostream& out, std::ostream& err) {
    const std::string why = notPrimary();
    if (!why.empty()) {
        reportFailure(err, "mirror", why);
        return kExitFailed;
    }
    std::optional<unsigned int> dump;
    if (options.idOption && options.idOption->count() > 0) dump = options.id;

    Outcome o;
    o.dryRun = options.dryRun;
    for (int round = 1;; ++round) {
        o.last = Comparison();
        std::string failure;
        if (!compareWithBackup(dump, o.last, failure)) {
            reportFailure(err, "mirror", failure);
            return kExitFailed;
        }
        o.files = o.last.files;
        if (o.last.matches() || round > kRounds) break;
        if (o.dryRun) {
            for (const Difference& d : o.last.differences) o.actions.push_back(Action{round, d, false, ""});
            break;
        }
        o.rounds = round;
        for (const Difference& d : o.last.differences) {
            Action a{round, d, false, bringInLine(d)};
            a.done = a.why.empty();
            if (!options.json) printAction(out, a);
            o.actions.push_back(a);
        }
    }
    o.reasons = reasons(o);
    if (options.json) {
        printJson(out, outcomeJson(o));
    } else {
        if (o.dryRun)
            for (const Action& a : o.actions) printAction(out, a);
        printVerdict(out, o);
    }
    for (const std::string& r : o.reasons) reportFailure(err, "mirror", r);
    return o.matches() ? kExitOk : kExitFailed;
}

}  // namespace platdump
